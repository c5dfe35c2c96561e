#include "keys/KeyboardController.h"

#include "deck/PadPerformance.h"
#include "keys/FineAdjust.h"
#include "keys/KeyDecoding.h"
#include "keys/KeyMonitor.h"
#include "keys/ShortcutTables.h"
#include "mix/MixController.h"
#include "overlay/QuelmoOverlayPresenter.h"
#include "timing/TimingController.h"
#include "util/AssignProperty.h"
#include "util/MediaClock.h"
#include "visualizer/KeyboardVisualizerManager.h"

#include <QPointer>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace quelmo {

KeyboardController::KeyboardController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies)) {}

KeyboardController::~KeyboardController() = default;

void KeyboardController::setKeyboardShortcutsEnabled(bool value) {
    assignProperty(this, shortcutsEnabled_, value, &KeyboardController::keyboardShortcutsEnabledChanged);
}

void KeyboardController::setYoutubeFocusTick(qint64 value) {
    assignProperty(this, youtubeFocusTick_, value, &KeyboardController::youtubeFocusTickChanged);
}

void KeyboardController::setKeyboardTrainerRequested(bool value) {
    assignProperty(this, trainerRequested_, value, &KeyboardController::keyboardTrainerRequestedChanged);
}

void KeyboardController::setTuningPulseDirection(int value) {
    assignProperty(this, pulseDirection_, value, &KeyboardController::tuningPulseDirectionChanged);
}

void KeyboardController::setTuningPulseGeneration(quint64 value) {
    assignProperty(this, pulseGeneration_, value, &KeyboardController::tuningPulseGenerationChanged);
}

void KeyboardController::setWaveformKeyboardFXOn(bool value) {
    assignProperty(this, captionOn_, value, &KeyboardController::waveformKeyboardFXOnChanged);
}

void KeyboardController::setWaveformKeyboardFXTitle(const QString& value) {
    assignProperty(this, captionTitle_, value, &KeyboardController::waveformKeyboardFXTitleChanged);
}

void KeyboardController::setWaveformKeyboardFXSubtitle(const QString& value) {
    assignProperty(this, captionSubtitle_, value, &KeyboardController::waveformKeyboardFXSubtitleChanged);
}

void KeyboardController::setWaveformKeyboardFXMeter(double value) {
    assignProperty(this, captionMeter_, value, &KeyboardController::waveformKeyboardFXMeterChanged);
}

QVariant KeyboardController::tuningPulseTargetForView() const {
    return pulseTarget_ ? QVariant::fromValue(*pulseTarget_) : QVariant();
}

} // namespace quelmo

// ---- Key monitors and dispatch -----------------------------------------------------------------

namespace quelmo {

using namespace keys;

namespace {


bool isArrowKeyEvent(const KeyEvent& event) {
    return event.keyCode == keyCode::downArrow || event.keyCode == keyCode::upArrow;
}

} // namespace

void KeyboardController::installKeyboardMonitorIfNeeded() {
    removeKeyboardMonitor();
    if (!shortcutsEnabled_ || !keyboardHost().makeMonitor) {
        return;
    }
    const bool heardBefore = keysHeardFromOtherApplications();
    QPointer<KeyboardController> self(this);
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

void KeyboardController::setOutsideWindowOpen(const QString& which, bool open) {
    if (open) {
        outsideWindows_.insert(which);
    } else {
        outsideWindows_.remove(which);
    }
}

QVariantList KeyboardController::allShortcutsForView() {
    QVariantList rows;
    for (const auto& shortcut : allShortcuts()) {
        rows.append(QVariantMap{{"label", shortcutKeyLabel(shortcut.key, shortcut.modifiers)}, {"action", shortcut.action}});
    }
    return rows;
}

QVariantList KeyboardController::shortcutTrainerRowsForView() {
    QVariantList rows;
    for (const auto& row : shortcutTrainerRows()) {
        rows.append(QVariantMap{{"keys", row.keys}, {"title", row.title}, {"detail", row.detail}});
    }
    return rows;
}

void KeyboardController::removeKeyboardMonitor() {
    const bool heardBefore = keysHeardFromOtherApplications();
    keyMonitor_.reset();
    localKeyMonitor_.reset();
    if (heardBefore) {
        emit keysHeardFromOtherApplicationsChanged();
    }
}

void KeyboardController::flashShortcutAck(const QString& title, const QString& subtitle, double meter,
                                       const QString& keyCaption) {
    dependencies_.overlay->flash(title, subtitle, meter, keyCaption);
}

void KeyboardController::flashTransportOverlayAfterToggle(const QString& keyCaption) {
    dependencies_.timing->togglePlay();
    dependencies_.overlay->flash(dependencies_.timing->isPlaying() ? QStringLiteral("PLAY") : QStringLiteral("PAUSE"),
                    QString::number(static_cast<long long>(std::trunc(dependencies_.timing->bpm()))) + QStringLiteral(u" BPM · transport"),
                    0.62, keyCaption);
}

bool KeyboardController::handleKeyEvent(const KeyEvent& event) {
    const bool taken = outsideWindowOpen() || (keyboardHost().keyboardIsTaken && keyboardHost().keyboardIsTaken());
    if (!shortcutsEnabled_ || taken) {
        return false;
    }
    const QStringList& padKeyDigits = PadPerformance::padKeyDigits();
    const QStringList& padKeyLetters = PadPerformance::padKeyLetters();
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
        dependencies_.pickImportFiles();
    } else if (key == u"y" && commandHeld) {
        flashShortcutAck("YOUTUBE", "Focus URL field", 0.5, QStringLiteral("Ctrl+Y"));
        setYoutubeFocusTick(youtubeFocusTick_ + 1);
    } else if (key == u"r" && commandHeld) {
        flashShortcutAck("RESET FX", "Creative rack + master tone", 0.48, QStringLiteral("Ctrl+R"));
        dependencies_.mix->resetEffects();
    } else if (padKeyDigits.contains(key) || padKeyLetters.contains(key)) {
        // A pad key held down repeats: its first press plays, the repeats are taken and play nothing.
        if (!event.isAutoRepeat) {
            const bool digit = padKeyDigits.contains(key);
            dependencies_.playPad(static_cast<int>(digit ? padKeyDigits.indexOf(key) : padKeyLetters.indexOf(key)),
                                  digit ? key : key.toUpper());
        }
    } else if (key == u" " && none) {
        flashTransportOverlayAfterToggle(QStringLiteral("Space"));
    } else if (key == u"s" && none) {
        dependencies_.stopAllLayers();
        dependencies_.overlay->flash("STOP", "All layers off", 0.28, "S");
    } else if (key == u"m" && none) {
        flashTransportOverlayAfterToggle(QStringLiteral("M"));
    } else if (key == u"[" && none) {
        dependencies_.timing->setBpm(dependencies_.timing->bpm() - 5.0);
        signalTuningPulse(TuningPulseTarget::bpm, -1, "[");
    } else if (key == u"]" && none) {
        dependencies_.timing->setBpm(dependencies_.timing->bpm() + 5.0);
        signalTuningPulse(TuningPulseTarget::bpm, +1, "]");
    } else if (key == u"-" && none) {
        dependencies_.mix->setMasterVolume(std::max(0.0, dependencies_.mix->masterVolume() - 0.1));
        dependencies_.mix->applyMixLevels();
        signalTuningPulse(TuningPulseTarget::master, -1, QStringLiteral(u"−"));
    } else if ((key == u"=" || key == u"+") && none) {
        dependencies_.mix->setMasterVolume(std::min(1.0, dependencies_.mix->masterVolume() + 0.1));
        dependencies_.mix->applyMixLevels();
        signalTuningPulse(TuningPulseTarget::master, +1, "=");
    } else if (key == u"b" && none) {
        flashShortcutAck("BOLD PA", "Pump mix for music + imports", 0.58, "B");
        dependencies_.mix->applyBoldCommandMixPreset();
    } else if (key == u"j" && none) {
        flashShortcutAck("TEST TONE", "Short beep on master bus", 0.45, "J");
        dependencies_.mix->playSoundCheckTone();
    } else if (key == u"l" && none) {
        flashShortcutAck("KEYBOARD LAB", "Opening shortcut trainer", 0.5, "L");
        setKeyboardTrainerRequested(true);
    } else if (key == u"d" && none) {
        dependencies_.visualizer->toggleDiscoMode();
        const bool on = dependencies_.visualizer->isDiscoMode();
        dependencies_.overlay->flash(on ? QStringLiteral(u"🪩 DISCO ON") : QStringLiteral("DISCO OFF"),
                        on ? QStringLiteral("Light bar pulsing to the beat!") : QStringLiteral("Back to normal"),
                        on ? 0.9 : 0.3, "D");
    } else if (key == u"f" && none) {
        if (dependencies_.visualizer->isFullScreenDisco()) {
            dependencies_.visualizer->hideFullScreenDisco();
            dependencies_.overlay->flash("DISCO EXIT", "Full screen mode off", 0.4, "F");
        } else {
            dependencies_.visualizer->showFullScreenDisco();
            dependencies_.visualizer->setIsFullScreenDisco(true);
            dependencies_.overlay->flash(QStringLiteral(u"🪩 FULL SCREEN DISCO"), "Immersive light show activated!", 1.0, "F");
        }
    } else if (event.keyCode == keyCode::escape && dependencies_.visualizer->isFullScreenDisco()) {
        dependencies_.visualizer->hideFullScreenDisco();
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

void KeyboardController::registerFineAdjustArm(const QString& key, Modifiers modifiers, const KeyEvent& event) {
    if ((modifiers & (command | control)) != 0 || isArrowKeyEvent(event) || key.isEmpty()) {
        return;
    }
    fineAdjustArmKey_ = key.left(1);
    fineAdjustExpiry_ = dependencies_.clock->now() + armWindowSeconds;
}

bool KeyboardController::handleArrowFineAdjust(const KeyEvent& event, Modifiers modifiers) {
    const bool up = event.keyCode == keyCode::upArrow;
    const double d = up ? 1.0 : -1.0;
    const int dir = up ? 1 : -1;
    const QString caption = arrowKeyCaption(modifiers, up);
    // In disco mode the plain arrows set the light show's speed (the flags every arrow carries
    // are no modifiers held).
    if (dependencies_.visualizer->isDiscoMode() && (modifiers & ~(numericPad | function)) == 0) {
        up ? dependencies_.visualizer->increaseIntensity() : dependencies_.visualizer->decreaseIntensity();
        const int pct = static_cast<int>(std::trunc(dependencies_.visualizer->discoIntensity() * 100.0 + 1e-9));
        dependencies_.overlay->flash(QStringLiteral(u"🪩 DISCO INTENSITY"), QStringLiteral("Intensity: %1%").arg(pct), pct / 100.0,
                        caption);
        return true;
    }
    if ((modifiers & option) != 0) {
        dependencies_.timing->setBpm(dependencies_.timing->bpm() + d);
        signalTuningPulse(TuningPulseTarget::bpm, dir, caption);
        return true;
    }
    if ((modifiers & shift) != 0) {
        dependencies_.mix->setImportVolume(std::clamp(dependencies_.mix->importVolume() + 0.03 * d, 0.0, 1.0));
        dependencies_.mix->applyMixLevels();
        signalTuningPulse(TuningPulseTarget::importLevel, dir, caption);
        return true;
    }
    const bool armed = fineAdjustArmKey_ && fineAdjustExpiry_ && dependencies_.clock->now() < *fineAdjustExpiry_;
    switch (armed ? fineAdjustTargetFrom(fineAdjustArmKey_) : FineAdjustTarget::master) {
    case FineAdjustTarget::master:
        dependencies_.mix->setMasterVolume(std::clamp(dependencies_.mix->masterVolume() + 0.02 * d, 0.0, 1.0));
        dependencies_.mix->applyMixLevels();
        signalTuningPulse(TuningPulseTarget::master, dir, caption);
        break;
    case FineAdjustTarget::bpm:
        dependencies_.timing->setBpm(dependencies_.timing->bpm() + d);
        signalTuningPulse(TuningPulseTarget::bpm, dir, caption);
        break;
    case FineAdjustTarget::importVol:
        dependencies_.mix->setImportVolume(std::clamp(dependencies_.mix->importVolume() + 0.025 * d, 0.0, 1.0));
        dependencies_.mix->applyMixLevels();
        signalTuningPulse(TuningPulseTarget::importLevel, dir, caption);
        break;
    case FineAdjustTarget::postFX:
        dependencies_.mix->setPostFXGain(std::clamp(dependencies_.mix->postFXGain() + 0.04 * d, 0.0, 2.5));
        dependencies_.mix->applyMixLevels();
        signalTuningPulse(TuningPulseTarget::postFX, dir, caption);
        break;
    }
    return true;
}

void KeyboardController::signalTuningPulse(TuningPulseTarget target, int direction, const QString& keyCaption) {
    if (pulseTarget_ != target) {
        pulseTarget_ = target;
        emit tuningPulseTargetChanged();
    }
    setTuningPulseDirection(direction);
    setTuningPulseGeneration(pulseGeneration_ + 1);
    const TuningTarget captionTarget = target == TuningPulseTarget::master   ? TuningTarget::master
                                       : target == TuningPulseTarget::bpm    ? TuningTarget::bpm
                                       : target == TuningPulseTarget::importLevel ? TuningTarget::importLevel
                                                                                  : TuningTarget::postFX;
    const TuningCaption content =
        tuningCaption(captionTarget, direction, {dependencies_.mix->masterVolume(), dependencies_.timing->bpm(), dependencies_.mix->importVolume(), dependencies_.mix->postFXGain()});
    setWaveformKeyboardFXTitle(content.title);
    setWaveformKeyboardFXSubtitle(content.subtitle);
    setWaveformKeyboardFXMeter(std::max(0.08, std::min(1.0, content.meter)));
    setWaveformKeyboardFXOn(true);
    if (captionDismiss_) {
        captionDismiss_->cancel();
    }
    captionDismiss_ = dependencies_.scheduler->schedule(captionHideDelay, [this] { setWaveformKeyboardFXOn(false); });
    dependencies_.overlay->flash(content.title, content.subtitle, content.meter, keyCaption);
}

} // namespace quelmo
