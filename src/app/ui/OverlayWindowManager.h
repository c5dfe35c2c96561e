#pragma once

#include "overlay/QuelmoOverlayPresenter.h"

#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

class QQmlEngine;
class QQmlComponent;

namespace quelmo {

// The perform card's windows: one per screen, frameless, above everything, transparent to the
// mouse, never taking focus, and left alone by the window manager. Without a compositor they draw
// opaque, which still reads as the acknowledgement it is.
//
// Windows are reused: a card replaced at once (closeNow, then open in the same turn of the event
// loop, as the presenter does on every flash) keeps its window on screen and only takes the new
// texts, so playing does not create a full-screen window and draw it whole a few times a second.
// A card that has faded out is hidden and kept for the next flash for a while, then released.
class OverlayWindowManager final : public QObject, public OverlayWindowHost {
    Q_OBJECT

public:
    // How long a hidden card window is kept for the next flash before its memory is released.
    static constexpr int keepHiddenMs = 10'000;

    explicit OverlayWindowManager(QQmlEngine* engine, QObject* parent = nullptr);
    ~OverlayWindowManager() override;

    std::vector<WindowId> open(const PerformCard& card, double fadeInSeconds) override;
    void fadeOutAndClose(const std::vector<WindowId>& windows, double fadeOutSeconds) override;
    void closeNow(const std::vector<WindowId>& windows) override;

    // Windows created so far (shown, fading or kept); for tests and benchmarks.
    int windowsCreated() const { return created_; }

private:
    QQuickWindow* takeSpare(QScreen* screen);
    QQuickWindow* create(QScreen* screen);
    void release(QQuickWindow* window); // to the spares, still shown until hideSpares runs
    void hideSpares();
    void releaseHidden();
    void animateOpacity(QQuickWindow* window, double to, double seconds, bool hideAfter);
    static void stopFades(QQuickWindow* window);

    std::unique_ptr<QQmlComponent> component_;
    std::map<WindowId, QPointer<QQuickWindow>> windows_;
    std::vector<QPointer<QQuickWindow>> spares_;
    std::vector<QPointer<QQuickWindow>> all_;
    QTimer releaseTimer_;
    WindowId next_ = 1;
    int created_ = 0;
    bool enabled_ = true; // QUELMO_PERFORM_CARD=off turns the card off
};

} // namespace quelmo
