#pragma once

#include "keys/KeyEvent.h"
#include "util/DelayScheduler.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace quelmo {

class KeyMonitor;
class KeyboardVisualizerManager;
class MediaClock;
class MixController;
class QuelmoOverlayPresenter;
class TimingController;

// THE KEYBOARD as the views see it (deck.keyboard): the shortcuts switch, the key monitors (keys
// pressed in Quelmo's window, and where the platform allows, in other applications), the dispatch
// of each press to its action, the arrow keys' fine adjust, and what the views show of it: the
// tuning pulse on the control a nudge moved, the waveform's caption, the lesson's tables.
//
// Main thread only. Local presses come from Qt's event filter; global ones from the raw-input
// listener's thread, which the monitor hops to the main thread before they reach here.
class KeyboardController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool keyboardShortcutsEnabled READ keyboardShortcutsEnabled WRITE setKeyboardShortcutsEnabled NOTIFY keyboardShortcutsEnabledChanged)
    // False while keys pressed in other applications cannot be heard (shortcuts off, or no global
    // monitor on this platform: Wayland without XWayland); the status line says so.
    Q_PROPERTY(bool keysHeardFromOtherApplications READ keysHeardFromOtherApplications NOTIFY keysHeardFromOtherApplicationsChanged)
    Q_PROPERTY(qint64 youtubeFocusTick READ youtubeFocusTick WRITE setYoutubeFocusTick NOTIFY youtubeFocusTickChanged)
    Q_PROPERTY(bool keyboardTrainerRequested READ keyboardTrainerRequested WRITE setKeyboardTrainerRequested NOTIFY keyboardTrainerRequestedChanged)
    Q_PROPERTY(int tuningPulseDirection READ tuningPulseDirection WRITE setTuningPulseDirection NOTIFY tuningPulseDirectionChanged)
    Q_PROPERTY(quint64 tuningPulseGeneration READ tuningPulseGeneration WRITE setTuningPulseGeneration NOTIFY tuningPulseGenerationChanged)
    Q_PROPERTY(bool waveformKeyboardFXOn READ waveformKeyboardFXOn WRITE setWaveformKeyboardFXOn NOTIFY waveformKeyboardFXOnChanged)
    Q_PROPERTY(QString waveformKeyboardFXTitle READ waveformKeyboardFXTitle WRITE setWaveformKeyboardFXTitle NOTIFY waveformKeyboardFXTitleChanged)
    Q_PROPERTY(QString waveformKeyboardFXSubtitle READ waveformKeyboardFXSubtitle WRITE setWaveformKeyboardFXSubtitle NOTIFY waveformKeyboardFXSubtitleChanged)
    Q_PROPERTY(double waveformKeyboardFXMeter READ waveformKeyboardFXMeter WRITE setWaveformKeyboardFXMeter NOTIFY waveformKeyboardFXMeterChanged)
    // The control the last nudge moved (a TuningPulseTarget), or undefined before the first.
    Q_PROPERTY(QVariant tuningPulseTarget READ tuningPulseTargetForView NOTIFY tuningPulseTargetChanged)
    // The keyboard lesson's tables: {label, action} for every monitored key, {keys, title, detail}
    // for the shortcut map.
    Q_PROPERTY(QVariantList allShortcuts READ allShortcutsForView CONSTANT)
    Q_PROPERTY(QVariantList shortcutTrainerRows READ shortcutTrainerRowsForView CONSTANT)

public:
    // Which control a keyboard nudge pulses.
    enum class TuningPulseTarget { master, bpm, importLevel, postFX };
    Q_ENUM(TuningPulseTarget)

    struct Dependencies {
        MixController* mix = nullptr;       // the levels the keys nudge, BOLD PA, RESET FX, the test tone
        TimingController* timing = nullptr; // PLAY, the tempo, STOP
        QuelmoOverlayPresenter* overlay = nullptr;
        KeyboardVisualizerManager* visualizer = nullptr; // the disco keys
        std::shared_ptr<MediaClock> clock;               // the fine-adjust arming window
        std::shared_ptr<DelayScheduler> scheduler;       // the waveform caption's hiding
        std::function<void()> pickImportFiles;           // Ctrl+A
        std::function<void(int pad, const QString& caption)> playPad; // the pad keys
        std::function<void()> stopAllLayers;             // S: rows, import, sequencer, transport
    };

    explicit KeyboardController(Dependencies dependencies, QObject* parent = nullptr);
    ~KeyboardController() override;

    // Removes the key monitors, then, with keyboardShortcutsEnabled, installs a local one (keys
    // pressed in Quelmo's window, consumed when handled) and, where the platform has one, a global
    // one (keys pressed in other applications, observed only). The deck view calls it when it
    // first shows and whenever the switch changes.
    Q_INVOKABLE void installKeyboardMonitorIfNeeded();
    Q_INVOKABLE void removeKeyboardMonitor();
    // Runs the shortcut of one key press; true when it was one (the local monitor then consumes
    // it). Nothing happens while the switch is off or a text field has the focus.
    bool handleKeyEvent(const keys::KeyEvent& event);
    // A window Quelmo opened that is not one of its own Qt windows (the desktop's file chooser, the
    // password prompt of an install) opened or closed. While any is open the keyboard belongs to
    // it: keys typed there, which the global monitor hears as "another application's", play
    // nothing.
    Q_INVOKABLE void setOutsideWindowOpen(const QString& which, bool open);
    bool outsideWindowOpen() const { return !outsideWindows_.isEmpty(); }
    bool keysHeardFromOtherApplications() const { return keyMonitor_ != nullptr; }
    static QVariantList allShortcutsForView();
    static QVariantList shortcutTrainerRowsForView();

    bool keyboardShortcutsEnabled() const { return shortcutsEnabled_; }
    void setKeyboardShortcutsEnabled(bool value);
    qint64 youtubeFocusTick() const { return youtubeFocusTick_; }
    void setYoutubeFocusTick(qint64 value);
    bool keyboardTrainerRequested() const { return trainerRequested_; }
    void setKeyboardTrainerRequested(bool value);
    int tuningPulseDirection() const { return pulseDirection_; }
    void setTuningPulseDirection(int value);
    quint64 tuningPulseGeneration() const { return pulseGeneration_; }
    void setTuningPulseGeneration(quint64 value);
    bool waveformKeyboardFXOn() const { return captionOn_; }
    void setWaveformKeyboardFXOn(bool value);
    QString waveformKeyboardFXTitle() const { return captionTitle_; }
    void setWaveformKeyboardFXTitle(const QString& value);
    QString waveformKeyboardFXSubtitle() const { return captionSubtitle_; }
    void setWaveformKeyboardFXSubtitle(const QString& value);
    double waveformKeyboardFXMeter() const { return captionMeter_; }
    void setWaveformKeyboardFXMeter(double value);
    std::optional<TuningPulseTarget> tuningPulseTarget() const { return pulseTarget_; }
    QVariant tuningPulseTargetForView() const;

signals:
    void keyboardShortcutsEnabledChanged();
    void keysHeardFromOtherApplicationsChanged();
    void youtubeFocusTickChanged();
    void keyboardTrainerRequestedChanged();
    void tuningPulseDirectionChanged();
    void tuningPulseGenerationChanged();
    void waveformKeyboardFXOnChanged();
    void waveformKeyboardFXTitleChanged();
    void waveformKeyboardFXSubtitleChanged();
    void waveformKeyboardFXMeterChanged();
    void tuningPulseTargetChanged();

private:
    void flashShortcutAck(const QString& title, const QString& subtitle, double meter, const QString& keyCaption);
    void flashTransportOverlayAfterToggle(const QString& keyCaption);
    void registerFineAdjustArm(const QString& key, keys::Modifiers modifiers, const keys::KeyEvent& event);
    bool handleArrowFineAdjust(const keys::KeyEvent& event, keys::Modifiers modifiers);
    void signalTuningPulse(TuningPulseTarget target, int direction, const QString& keyCaption);

    Dependencies dependencies_;
    bool shortcutsEnabled_ = true;
    qint64 youtubeFocusTick_ = 0;
    bool trainerRequested_ = false;
    int pulseDirection_ = 0;
    quint64 pulseGeneration_ = 0;
    bool captionOn_ = false;
    QString captionTitle_;
    QString captionSubtitle_;
    double captionMeter_ = 0.5;
    std::optional<TuningPulseTarget> pulseTarget_;
    std::unique_ptr<DelayScheduler::Task> captionDismiss_;
    std::shared_ptr<KeyMonitor> keyMonitor_;
    std::shared_ptr<KeyMonitor> localKeyMonitor_;
    QSet<QString> outsideWindows_;
    std::optional<QString> fineAdjustArmKey_;
    std::optional<double> fineAdjustExpiry_; // media-clock seconds
};

} // namespace quelmo
