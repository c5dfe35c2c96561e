#pragma once

#include "util/DelayScheduler.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace quelmo {

// What one perform-mode card shows.
struct PerformCard {
    QString title;
    QString subtitle;
    double meter = 0.0;
    QString keyCaption;
};

// The windows behind the overlay: one borderless, click-through, always-on-top card window per
// screen. The application supplies them; tests supply a recorder.
class OverlayWindowHost {
public:
    using WindowId = int;
    virtual ~OverlayWindowHost() = default;
    // Opens a card window on every screen, fading each in from transparent over fadeInSeconds.
    // Returns their ids; empty when there are no screens.
    virtual std::vector<WindowId> open(const PerformCard& card, double fadeInSeconds) = 0;
    // Fades the windows out over fadeOutSeconds, then closes them.
    virtual void fadeOutAndClose(const std::vector<WindowId>& windows, double fadeOutSeconds) = 0;
    // Closes the windows at once.
    virtual void closeNow(const std::vector<WindowId>& windows) = 0;
};

// The full-screen acknowledgement of pad hits, shortcuts and nudges. A flash replaces whatever
// card is up at once (no fade), fades in over 0.14 s, holds, then fades out over 0.2 s; repeated
// flashes keep one card up with the latest content until the hold after the last one ends.
// Main thread only.
class QuelmoOverlayPresenter : public QObject {
    Q_OBJECT

public:
    static constexpr std::uint64_t defaultHoldNanoseconds = 1'180'000'000;
    static constexpr double fadeInSeconds = 0.14;
    static constexpr double fadeOutSeconds = 0.2;

    static QuelmoOverlayPresenter& shared();

    explicit QuelmoOverlayPresenter(std::shared_ptr<DelayScheduler> scheduler = mainThreadScheduler(),
                                    QObject* parent = nullptr);
    ~QuelmoOverlayPresenter() override;

    // Without a host (no windowing, as in the core's tests) flashes only keep their state.
    void setHost(OverlayWindowHost* host) { host_ = host; }

    void flash(const QString& title, const QString& subtitle, double meter, const QString& keyCaption = {},
               std::uint64_t holdNanoseconds = defaultHoldNanoseconds);
    void dismissAll();

    const std::vector<OverlayWindowHost::WindowId>& windows() const { return windows_; }
    // The content of the last flash, for the views and tests.
    const PerformCard& lastCard() const { return lastCard_; }

signals:
    void flashed(const QString& title, const QString& subtitle, double meter, const QString& keyCaption);

private:
    void hideAllImmediate();
    void fadeOutAndRemove();

    std::shared_ptr<DelayScheduler> scheduler_;
    OverlayWindowHost* host_ = nullptr;
    std::vector<OverlayWindowHost::WindowId> windows_;
    std::unique_ptr<DelayScheduler::Task> hideTask_;
    PerformCard lastCard_;
};

} // namespace quelmo
