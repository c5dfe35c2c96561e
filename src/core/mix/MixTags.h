#pragma once

#include "mix/MixMath.h"

#include <QStringList>

namespace quelmo {

// The waveform panel's mix chips that follow its fixed "IMPORT→RACK" and "IMP n%" chips: one short
// text per control away from its resting value, in a fixed order, and "DECKS×n" while more than one
// track plays. Numbers are integer parts (truncated toward zero) glued to their prefix: REV45, LO-3.
QStringList mixTags(const MixLevels& levels, int playingTrackCount);

} // namespace quelmo
