#include "deck/QuelmoViewModel.h"

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
