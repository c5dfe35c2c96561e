#include "HexColor.h"

#include <cstdint>

namespace quelmo {

QColor hexColor(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && !text[begin].isLetterOrNumber()) {
        ++begin;
    }
    while (end > begin && !text[end - 1].isLetterOrNumber()) {
        --end;
    }
    const QStringView trimmed = text.sliced(begin, end - begin);

    std::uint64_t v = 0;
    for (const QChar c : trimmed) {
        const int digit = c.isDigit() ? c.digitValue()
                          : (c.toLower() >= u'a' && c.toLower() <= u'f') ? c.toLower().unicode() - u'a' + 10
                                                                          : -1;
        if (digit < 0) {
            break;
        }
        v = v * 16 + static_cast<std::uint64_t>(digit);
    }

    auto component = [](std::uint64_t x) { return static_cast<int>(x & 0xFF); };
    switch (trimmed.size()) {
    case 3:
        return QColor(component((v >> 8) * 17), component(((v >> 4) & 0xF) * 17), component((v & 0xF) * 17), 255);
    case 6:
        return QColor(component(v >> 16), component(v >> 8), component(v), 255);
    case 8:
        return QColor(component(v >> 16), component(v >> 8), component(v), component(v >> 24));
    default:
        return QColor(1, 1, 0, 1);
    }
}

} // namespace quelmo
