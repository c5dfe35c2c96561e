#pragma once

#include "overlay/QuelmoOverlayPresenter.h"

#include <QString>
#include <QStringList>

namespace quelmo::PadPerformance {

// The keys that play pads 0..7: the digit row and the letter row.
const QStringList& padKeyDigits();
const QStringList& padKeyLetters();

// The card a pad hit shows: "PAD · KICK", "One-shot · slot 1", the key that fired it (or "Pad 1"
// for a click), and a meter that rises from 0.52 for pad 0 to 0.835 for pad 7.
PerformCard card(int index, const QString& label, const QString& keyCaption);

} // namespace quelmo::PadPerformance
