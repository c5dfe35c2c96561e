#pragma once

#include <QString>

#include <cstdint>

namespace quelmo::shared {

// The character an X11 keysym types, for the Latin-1 and Unicode keysyms of character keys; empty
// for every other keysym (function keys, arrows, Return...).
QString keysymText(std::uint32_t keysym);

// The keysym that types character: Return and Tab for line break and tab, the Latin-1 keysym
// where there is one, else the Unicode keysym (0x01000000 + code point).
std::uint32_t keysymForCharacter(char32_t character);

} // namespace quelmo::shared
