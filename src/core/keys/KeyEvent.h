#pragma once

#include <QString>

#include <cstdint>

namespace quelmo::keys {

// Modifier flags of a key event, with the values the shortcut tables are written in. On Linux the
// keys map as: Ctrl -> command, Super -> control, Alt -> option.
enum ModifierFlag : std::uint32_t {
    capsLock = 1u << 16,
    shift = 1u << 17,
    control = 1u << 18,
    option = 1u << 19,
    command = 1u << 20,
    numericPad = 1u << 21,
    function = 1u << 23,
};
using Modifiers = std::uint32_t;
// The flags the shortcut guard looks at (every one above).
inline constexpr Modifiers deviceIndependentMask = 0xFFFF0000u;

// Hardware key codes of the keys the deck reads, by position on an ANSI keyboard.
namespace keyCode {
inline constexpr std::uint16_t escape = 53;
inline constexpr std::uint16_t downArrow = 125;
inline constexpr std::uint16_t upArrow = 126;
inline constexpr std::uint16_t unknown = 0xFFFF;
} // namespace keyCode

// One key press, the same whether it came from Quelmo's window or, on X11, from another
// application's: what it types, what it types ignoring every modifier but Shift, where the key is
// and which modifiers were down.
struct KeyEvent {
    QString characters;
    QString charactersIgnoringModifiers;
    std::uint16_t keyCode = keyCode::unknown;
    Modifiers modifiers = 0;
    bool isAutoRepeat = false;

    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

} // namespace quelmo::keys
