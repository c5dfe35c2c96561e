#include "shared/input/X11Keysyms.h"

#include <X11/keysym.h>

namespace quelmo::shared {
namespace {
constexpr std::uint32_t unicodeKeysymBase = 0x01000000;
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
