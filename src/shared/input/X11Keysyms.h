#pragma once

#include <cstdint>

namespace quelmo::shared {

// The keysym that types character: Return and Tab for line break and tab, the Latin-1 keysym
// where there is one, else the Unicode keysym (0x01000000 + code point).
std::uint32_t keysymForCharacter(char32_t character);

} // namespace quelmo::shared
