#pragma once

#include "keys/KeyEvent.h"

#include <QString>

#include <optional>

namespace quelmo::keys {

// The levels the up and down arrows nudge, chosen by the key pressed just before.
enum class FineAdjustTarget { master, bpm, importVol, postFX };

// "[", "]" or "t" -> bpm; "i" or "y" -> importVol; "e" -> postFX; anything else -> master.
FineAdjustTarget fineAdjustTargetFrom(const std::optional<QString>& armedKey);

// "↑"/"↓", after "Alt+Shift+", "Alt+" or "Shift+" for the modifiers held.
QString arrowKeyCaption(Modifiers modifiers, bool up);

// What the waveform's caption shows for a nudge of one of the four levels.
struct TuningCaption {
    QString title;
    QString subtitle;
    double meter = 0.0; // unclamped
};
struct TuningLevels {
    double masterVolume = 0.0;
    double bpm = 0.0;
    double importVolume = 0.0;
    double postFXGain = 0.0;
};
enum class TuningTarget { master, bpm, importLevel, postFX };
TuningCaption tuningCaption(TuningTarget target, int direction, const TuningLevels& levels);

} // namespace quelmo::keys
