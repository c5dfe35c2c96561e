#pragma once

#include <QColor>
#include <QStringView>

namespace quelmo {

// Reads "1a1a2e", "#1a1a2e", "fff" or "80ff0000" (alpha first). Anything else gives an almost
// transparent yellow, the agreed sign of a colour typo.
QColor hexColor(QStringView text);

} // namespace quelmo
