#pragma once

#include "keys/KeyEvent.h"
#include "util/DelayScheduler.h"
#include "visualizer/KeyBubbleModel.h"

#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariantList>

#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace quelmo {

class KeyMonitor;

// Shows and hides the full-screen disco window; the application provides it.
class DiscoWindowHost {
public:
    virtual ~DiscoWindowHost() = default;
    virtual void showDiscoWindow() = 0;
    virtual void hideDiscoWindow() = 0;
};

// The keyboard light show's state, one per process: a bubble for every key pressed in the last
// second (in Quelmo and, on X11, in other applications), and the disco colour cycle behind the
// light bar and the full-screen disco window. The views draw it; the deck's D, F, Escape and arrow
// keys switch it. Main thread only.
class KeyboardVisualizerManager : public QObject {
    Q_OBJECT
    // {id, key, x, y, color} per bubble, oldest first.
    Q_PROPERTY(QVariantList keyEvents READ keyEventsForView NOTIFY keyEventsChanged)
    // The same bubbles as a list model, for views: one delegate made per new bubble.
    Q_PROPERTY(QAbstractListModel* bubbles READ bubbles CONSTANT)
    Q_PROPERTY(bool isDiscoMode READ isDiscoMode NOTIFY isDiscoModeChanged)
    Q_PROPERTY(bool isFullScreenDisco READ isFullScreenDisco WRITE setIsFullScreenDisco NOTIFY isFullScreenDiscoChanged)
    Q_PROPERTY(double discoIntensity READ discoIntensity NOTIFY discoIntensityChanged)
    Q_PROPERTY(QString lightBarColor READ lightBarColor NOTIFY lightBarColorChanged)
    Q_PROPERTY(double currentHue READ currentHue NOTIFY currentHueChanged)

public:
    // One bubble.
    using KeyEvent = KeyBubbleModel::Bubble;
    static constexpr std::chrono::milliseconds colourTick{50};
    static constexpr std::chrono::milliseconds bubbleLife{1000};

    static KeyboardVisualizerManager& shared();
    explicit KeyboardVisualizerManager(std::shared_ptr<DelayScheduler> scheduler = mainThreadScheduler(),
                                       QObject* parent = nullptr);
    ~KeyboardVisualizerManager() override;

    // Starts and stops watching keys. While stopped, no key makes a bubble and the hue holds still.
    Q_INVOKABLE void startMonitoring();
    Q_INVOKABLE void stopMonitoring();
    Q_INVOKABLE void toggleDiscoMode();
    Q_INVOKABLE void toggleFullScreenDisco();
    // Steps of 0.1, kept to 0.1 ... 1.0.
    Q_INVOKABLE void increaseIntensity();
    Q_INVOKABLE void decreaseIntensity();

    // Opens the full-screen disco window unless it is open (and then changes nothing, not even its
    // close time); it closes itself 10 s later. Hiding closes it, if open, and clears
    // isFullScreenDisco either way.
    void setDiscoWindowHost(DiscoWindowHost* host) { discoHost_ = host; }
    Q_INVOKABLE void showFullScreenDisco();
    Q_INVOKABLE void hideFullScreenDisco();
    bool discoWindowShown() const { return discoWindowShown_; }
    static constexpr std::chrono::seconds discoWindowLife{10};

    // Where a key was typed: in a Quelmo window, or in another application (seen by the global
    // monitor on X11).
    enum class KeySource { quelmo, otherApplication };
    // The mark a bubble shows for a key typed in another application.
    static constexpr char16_t otherApplicationMark = u'\u2022';
    // A key press seen by a monitor: a bubble with what the key types (its key for a chord such as
    // Ctrl+A), or the neutral mark for a key typed in another application; none for a modifier.
    void handleKeyEvent(const keys::KeyEvent& event, KeySource source = KeySource::quelmo);
    // One tick of the colour cycle: with disco on, the hue moves by intensity / 100 and wraps to
    // exactly 0 once past 1.
    void updateDiscoColors();

    const std::vector<KeyEvent>& keyEvents() const { return bubbles_.bubbles(); }
    QAbstractListModel* bubbles() { return &bubbles_; }
    QVariantList keyEventsForView() const;
    bool isDiscoMode() const { return isDiscoMode_; }
    bool isFullScreenDisco() const { return isFullScreenDisco_; }
    void setIsFullScreenDisco(bool value);
    double discoIntensity() const { return discoIntensity_; }
    QString lightBarColor() const { return lightBarColor_; }
    double currentHue() const { return currentHue_; }
    double hue() const { return hue_; }
    void setHueForTest(double hue) { hue_ = hue; }

signals:
    void keyEventsChanged();
    void isDiscoModeChanged();
    void isFullScreenDiscoChanged();
    void discoIntensityChanged();
    void lightBarColorChanged();
    void currentHueChanged();

private:
    void setDiscoIntensity(double value);
    void scheduleColourTick();

    std::shared_ptr<DelayScheduler> scheduler_;
    KeyBubbleModel bubbles_;
    bool isDiscoMode_ = false;
    bool isFullScreenDisco_ = false;
    double discoIntensity_ = 0.5;
    QString lightBarColor_ = QStringLiteral("#00ffff");
    std::shared_ptr<KeyMonitor> localMonitor_;
    std::shared_ptr<KeyMonitor> globalMonitor_;
    bool monitoring_ = false;
    std::unique_ptr<DelayScheduler::Task> colourTimer_;
    std::vector<std::unique_ptr<DelayScheduler::Task>> removals_;
    double currentHue_ = 0.0;
    double hue_ = 0.0;
    std::mt19937 random_{std::random_device{}()};
    DiscoWindowHost* discoHost_ = nullptr;
    bool discoWindowShown_ = false;
    std::unique_ptr<DelayScheduler::Task> discoAutoHide_;
};

// "#rrggbb" of the colour at hue 0..1, full saturation and brightness.
QString hueColour(double hue);

} // namespace quelmo
