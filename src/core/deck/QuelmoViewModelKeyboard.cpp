#include "deck/QuelmoViewModel.h"

#include "keys/FineAdjust.h"
#include "keys/KeyDecoding.h"
#include "keys/KeyMonitor.h"
#include "keys/ShortcutTables.h"
#include "visualizer/KeyboardVisualizerManager.h"

#include <QPointer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace quelmo {

void QuelmoViewModel::setKeyboardShortcutsEnabled(bool value) {
    assign(keyboardShortcutsEnabled_, value, &QuelmoViewModel::keyboardShortcutsEnabledChanged);
}

void QuelmoViewModel::setYoutubeFocusTick(qint64 value) {
    assign(youtubeFocusTick_, value, &QuelmoViewModel::youtubeFocusTickChanged);
}

void QuelmoViewModel::setKeyboardTrainerRequested(bool value) {
    assign(keyboardTrainerRequested_, value, &QuelmoViewModel::keyboardTrainerRequestedChanged);
}

void QuelmoViewModel::setTuningPulseDirection(int value) {
    assign(tuningPulseDirection_, value, &QuelmoViewModel::tuningPulseDirectionChanged);
}

void QuelmoViewModel::setTuningPulseGeneration(quint64 value) {
    assign(tuningPulseGeneration_, value, &QuelmoViewModel::tuningPulseGenerationChanged);
}

void QuelmoViewModel::setWaveformKeyboardFXOn(bool value) {
    assign(waveformKeyboardFXOn_, value, &QuelmoViewModel::waveformKeyboardFXOnChanged);
}

void QuelmoViewModel::setWaveformKeyboardFXTitle(const QString& value) {
    assign(waveformKeyboardFXTitle_, value, &QuelmoViewModel::waveformKeyboardFXTitleChanged);
}

void QuelmoViewModel::setWaveformKeyboardFXSubtitle(const QString& value) {
    assign(waveformKeyboardFXSubtitle_, value, &QuelmoViewModel::waveformKeyboardFXSubtitleChanged);
}

void QuelmoViewModel::setWaveformKeyboardFXMeter(double value) {
    assign(waveformKeyboardFXMeter_, value, &QuelmoViewModel::waveformKeyboardFXMeterChanged);
}

QVariant QuelmoViewModel::tuningPulseTargetForView() const {
    return tuningPulseTarget_ ? QVariant::fromValue(*tuningPulseTarget_) : QVariant();
}

} // namespace quelmo

// ---- Key monitors and dispatch -----------------------------------------------------------------

namespace quelmo {

using namespace keys;

namespace {

const QStringList padKeyDigits{"1", "2", "3", "4", "5", "6", "7", "8"};
const QStringList padKeyLetters{"q", "w", "e", "r", "t", "y", "u", "i"};

bool isArrowKeyEvent(const KeyEvent& event) {
    return event.keyCode == keyCode::downArrow || event.keyCode == keyCode::upArrow;
}

} // namespace

void QuelmoViewModel::installKeyboardMonitorIfNeeded() {
    removeKeyboardMonitor();
    if (!keyboardShortcutsEnabled_ || !keyboardHost().makeMonitor) {
        return;
    }
    const bool heardBefore = keysHeardFromOtherApplications();
    QPointer<QuelmoViewModel> self(this);
    localKeyMonitor_ = keyboardHost().makeMonitor(MonitorKind::local, [self](const KeyEvent& event) {
        return self && self->handleKeyEvent(event);
    });
    keyMonitor_ = keyboardHost().makeMonitor(MonitorKind::global, [self](const KeyEvent& event) {
        if (self) {
            self->handleKeyEvent(event);
        }
        return false;
    });
    if (keysHeardFromOtherApplications() != heardBefore) {
        emit keysHeardFromOtherApplicationsChanged();
    }
}

void QuelmoViewModel::setOutsideWindowOpen(const QString& which, bool open) {
    if (open) {
        outsideWindows_.insert(which);
    } else {
        outsideWindows_.remove(which);
    }
}

QVariantList QuelmoViewModel::allShortcutsForView() {
    QVariantList rows;
    for (const auto& shortcut : allShortcuts()) {
        rows.append(QVariantMap{{"label", shortcutKeyLabel(shortcut.key, shortcut.modifiers)}, {"action", shortcut.action}});
    }
    return rows;
}

QVariantList QuelmoViewModel::shortcutTrainerRowsForView() {
    QVariantList rows;
    for (const auto& row : shortcutTrainerRows()) {
        rows.append(QVariantMap{{"keys", row.keys}, {"title", row.title}, {"detail", row.detail}});
    }
    return rows;
}

void QuelmoViewModel::removeKeyboardMonitor() {
    const bool heardBefore = keysHeardFromOtherApplications();
    keyMonitor_.reset();
    localKeyMonitor_.reset();
    if (heardBefore) {
        emit keysHeardFromOtherApplicationsChanged();
    }
}

void QuelmoViewModel::flashShortcutAck(const QString& title, const QString& subtitle, double meter,
                                       const QString& keyCaption) {
    overlay_->flash(title, subtitle, meter, keyCaption);
}

void QuelmoViewModel::flashTransportOverlayAfterToggle(const QString& keyCaption) {
    togglePlay();
    overlay_->flash(isPlaying_ ? QStringLiteral("PLAY") : QStringLiteral("PAUSE"),
                    QString::number(static_cast<long long>(std::trunc(bpm_))) + QStringLiteral(u" BPM · transport"),
                    0.62, keyCaption);
}

bool QuelmoViewModel::handleKeyEvent(const KeyEvent& event) {
    const bool taken = outsideWindowOpen() || (keyboardHost().keyboardIsTaken && keyboardHost().keyboardIsTaken());
    if (!keyboardShortcutsEnabled_ || taken) {
        return false;
    }
    const Modifiers mods = event.modifiers & deviceIndependentMask;
    QString key = event.charactersIgnoringModifiers.toLower();
    if (key.isEmpty()) {
        key = keyFallbackFromKeyCode(event.keyCode).toLower();
    }
    if (isArrowKeyEvent(event)) {
        return handleArrowFineAdjust(event, mods);
    }
    // Pad keys fire with any modifiers; the other plain keys only with none at all.
    const bool none = mods == 0;
    const bool commandHeld = (mods & command) != 0;
    bool handled = true;
    if (key == u"a" && commandHeld) {
        flashShortcutAck("IMPORT", "Choose audio files", 0.52, QStringLiteral("Ctrl+A"));
        pickImportFiles();
    } else if (key == u"y" && commandHeld) {
        flashShortcutAck("YOUTUBE", "Focus URL field", 0.5, QStringLiteral("Ctrl+Y"));
        setYoutubeFocusTick(youtubeFocusTick_ + 1);
    } else if (key == u"r" && commandHeld) {
        flashShortcutAck("RESET FX", "Creative rack + master tone", 0.48, QStringLiteral("Ctrl+R"));
        resetEffects();
    } else if (padKeyDigits.contains(key) || padKeyLetters.contains(key)) {
        // A pad key held down repeats: its first press plays, the repeats are taken and play nothing.
        if (!event.isAutoRepeat) {
            const bool digit = padKeyDigits.contains(key);
            triggerPad(static_cast<int>(digit ? padKeyDigits.indexOf(key) : padKeyLetters.indexOf(key)), true,
                       digit ? key : key.toUpper());
        }
    } else if (key == u" " && none) {
        flashTransportOverlayAfterToggle(QStringLiteral("Space"));
    } else if (key == u"s" && none) {
        stopAllTracks();
        stopImport();
        stopSequencer();
        stopTransport();
        overlay_->flash("STOP", "All layers off", 0.28, "S");
    } else if (key == u"m" && none) {
        flashTransportOverlayAfterToggle(QStringLiteral("M"));
    } else if (key == u"[" && none) {
        setBpm(bpm_ - 5.0);
        signalTuningPulse(TuningPulseTarget::bpm, -1, "[");
    } else if (key == u"]" && none) {
        setBpm(bpm_ + 5.0);
        signalTuningPulse(TuningPulseTarget::bpm, +1, "]");
    } else if (key == u"-" && none) {
        setMasterVolume(std::max(0.0, masterVolume_ - 0.1));
        applyMixLevels();
        signalTuningPulse(TuningPulseTarget::master, -1, QStringLiteral(u"−"));
    } else if ((key == u"=" || key == u"+") && none) {
        setMasterVolume(std::min(1.0, masterVolume_ + 0.1));
        applyMixLevels();
        signalTuningPulse(TuningPulseTarget::master, +1, "=");
    } else if (key == u"b" && none) {
        flashShortcutAck("BOLD PA", "Pump mix for music + imports", 0.58, "B");
        applyBoldCommandMixPreset();
    } else if (key == u"j" && none) {
        flashShortcutAck("TEST TONE", "Short beep on master bus", 0.45, "J");
        playSoundCheckTone();
    } else if (key == u"l" && none) {
        flashShortcutAck("KEYBOARD LAB", "Opening shortcut trainer", 0.5, "L");
        setKeyboardTrainerRequested(true);
    } else if (key == u"d" && none) {
        visualizer_->toggleDiscoMode();
        const bool on = visualizer_->isDiscoMode();
        overlay_->flash(on ? QStringLiteral(u"🪩 DISCO ON") : QStringLiteral("DISCO OFF"),
                        on ? QStringLiteral("Light bar pulsing to the beat!") : QStringLiteral("Back to normal"),
                        on ? 0.9 : 0.3, "D");
    } else if (key == u"f" && none) {
        if (visualizer_->isFullScreenDisco()) {
            visualizer_->hideFullScreenDisco();
            overlay_->flash("DISCO EXIT", "Full screen mode off", 0.4, "F");
        } else {
            visualizer_->showFullScreenDisco();
            visualizer_->setIsFullScreenDisco(true);
            overlay_->flash(QStringLiteral(u"🪩 FULL SCREEN DISCO"), "Immersive light show activated!", 1.0, "F");
        }
    } else if (event.keyCode == keyCode::escape && visualizer_->isFullScreenDisco()) {
        visualizer_->hideFullScreenDisco();
    } else {
        handled = false;
    }
    registerFineAdjustArm(key, mods, event);
    return handled;
}

// ---- Fine adjust and tuning pulses -------------------------------------------------------------

namespace {

constexpr double armWindowSeconds = 1.18;
constexpr auto captionHideDelay = std::chrono::nanoseconds(1'250'000'000);

} // namespace

void QuelmoViewModel::registerFineAdjustArm(const QString& key, Modifiers modifiers, const KeyEvent& event) {
    if ((modifiers & (command | control)) != 0 || isArrowKeyEvent(event) || key.isEmpty()) {
        return;
    }
    fineAdjustArmKey_ = key.left(1);
    fineAdjustExpiry_ = clock_->now() + armWindowSeconds;
}

bool QuelmoViewModel::handleArrowFineAdjust(const KeyEvent& event, Modifiers modifiers) {
    const bool up = event.keyCode == keyCode::upArrow;
    const double d = up ? 1.0 : -1.0;
    const int dir = up ? 1 : -1;
    const QString caption = arrowKeyCaption(modifiers, up);
    // In disco mode the plain arrows set the light show's speed (the flags every arrow carries
    // are no modifiers held).
    if (visualizer_->isDiscoMode() && (modifiers & ~(numericPad | function)) == 0) {
        up ? visualizer_->increaseIntensity() : visualizer_->decreaseIntensity();
        const int pct = static_cast<int>(std::trunc(visualizer_->discoIntensity() * 100.0 + 1e-9));
        overlay_->flash(QStringLiteral(u"🪩 DISCO INTENSITY"), QStringLiteral("Intensity: %1%").arg(pct), pct / 100.0,
                        caption);
        return true;
    }
    if ((modifiers & option) != 0) {
        setBpm(bpm_ + d);
        signalTuningPulse(TuningPulseTarget::bpm, dir, caption);
        return true;
    }
    if ((modifiers & shift) != 0) {
        setImportVolume(std::clamp(importVolume_ + 0.03 * d, 0.0, 1.0));
        applyMixLevels();
        signalTuningPulse(TuningPulseTarget::importLevel, dir, caption);
        return true;
    }
    const bool armed = fineAdjustArmKey_ && fineAdjustExpiry_ && clock_->now() < *fineAdjustExpiry_;
    switch (armed ? fineAdjustTargetFrom(fineAdjustArmKey_) : FineAdjustTarget::master) {
    case FineAdjustTarget::master:
        setMasterVolume(std::clamp(masterVolume_ + 0.02 * d, 0.0, 1.0));
        applyMixLevels();
        signalTuningPulse(TuningPulseTarget::master, dir, caption);
        break;
    case FineAdjustTarget::bpm:
        setBpm(bpm_ + d);
        signalTuningPulse(TuningPulseTarget::bpm, dir, caption);
        break;
    case FineAdjustTarget::importVol:
        setImportVolume(std::clamp(importVolume_ + 0.025 * d, 0.0, 1.0));
        applyMixLevels();
        signalTuningPulse(TuningPulseTarget::importLevel, dir, caption);
        break;
    case FineAdjustTarget::postFX:
        setPostFXGain(std::clamp(postFXGain_ + 0.04 * d, 0.0, 2.5));
        applyMixLevels();
        signalTuningPulse(TuningPulseTarget::postFX, dir, caption);
        break;
    }
    return true;
}

void QuelmoViewModel::signalTuningPulse(TuningPulseTarget target, int direction, const QString& keyCaption) {
    if (tuningPulseTarget_ != target) {
        tuningPulseTarget_ = target;
        emit tuningPulseTargetChanged();
    }
    setTuningPulseDirection(direction);
    setTuningPulseGeneration(tuningPulseGeneration_ + 1);
    const TuningTarget captionTarget = target == TuningPulseTarget::master   ? TuningTarget::master
                                       : target == TuningPulseTarget::bpm    ? TuningTarget::bpm
                                       : target == TuningPulseTarget::importLevel ? TuningTarget::importLevel
                                                                                  : TuningTarget::postFX;
    const TuningCaption content =
        tuningCaption(captionTarget, direction, {masterVolume_, bpm_, importVolume_, postFXGain_});
    setWaveformKeyboardFXTitle(content.title);
    setWaveformKeyboardFXSubtitle(content.subtitle);
    setWaveformKeyboardFXMeter(std::max(0.08, std::min(1.0, content.meter)));
    setWaveformKeyboardFXOn(true);
    if (waveformKeyboardFXDismiss_) {
        waveformKeyboardFXDismiss_->cancel();
    }
    waveformKeyboardFXDismiss_ = scheduler_->schedule(captionHideDelay, [this] { setWaveformKeyboardFXOn(false); });
    overlay_->flash(content.title, content.subtitle, content.meter, keyCaption);
}

} // namespace quelmo
