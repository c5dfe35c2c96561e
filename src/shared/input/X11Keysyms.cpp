#include "shared/input/X11Keysyms.h"

#include <X11/keysym.h>

namespace quelmo::shared {
namespace {
constexpr std::uint32_t unicodeKeysymBase = 0x01000000;
}

QString keysymText(std::uint32_t keysym) {
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff)) {
        return QString(QChar(static_cast<char16_t>(keysym)));
    }
    if ((keysym & 0xff000000) == unicodeKeysymBase) {
        const char32_t code = static_cast<char32_t>(keysym & 0x00ffffff);
        return QString::fromUcs4(&code, 1);
    }
    return {};
}

std::uint32_t keysymForCharacter(char32_t character) {
    if (character == U'\n' || character == U'\r') {
        return XK_Return;
    }
    if (character == U'\t') {
        return XK_Tab;
    }
    if ((character >= 0x20 && character <= 0x7e) || (character >= 0xa0 && character <= 0xff)) {
        return character;
    }
    return unicodeKeysymBase | character;
}

} // namespace quelmo::shared
