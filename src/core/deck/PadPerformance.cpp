#include "deck/PadPerformance.h"

#include <algorithm>

namespace quelmo::PadPerformance {

const QStringList& padKeyDigits() {
    static const QStringList digits{"1", "2", "3", "4", "5", "6", "7", "8"};
    return digits;
}

const QStringList& padKeyLetters() {
    static const QStringList letters{"q", "w", "e", "r", "t", "y", "u", "i"};
    return letters;
}

PerformCard card(int index, const QString& label, const QString& keyCaption) {
    const QString slot = QString::number(index + 1);
    return {QStringLiteral(u"PAD · ") + label.toUpper(), QStringLiteral(u"One-shot · slot ") + slot,
            std::min(1.0, index * 0.045 + 0.52), keyCaption.isEmpty() ? QStringLiteral("Pad ") + slot : keyCaption};
}

} // namespace quelmo::PadPerformance
