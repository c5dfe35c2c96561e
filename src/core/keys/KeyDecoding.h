#pragma once

#include "keys/KeyEvent.h"

#include <QString>
#include <Qt>

#include <cstdint>

namespace quelmo::keys {

// The position code of a Linux input key (the kernel's KEY_* number; an X11 key code is that plus
// 8), or keyCode::unknown for keys the deck has no use for.
std::uint16_t keyCodeFromEvdev(std::uint32_t evdev);

// Translates a key press of Qt's: text is what Qt says it types, key its Qt::Key, nativeScanCode
// the X11 key code (evdev + 8; 0 when unknown). Ctrl maps to command, Meta (Super) to control,
// Alt to option; arrow keys carry the numeric-pad and function flags, as they always do in the
// shortcut tables. Characters ignoring modifiers keep Shift's effect on letters.
KeyEvent keyEventFromQt(int key, Qt::KeyboardModifiers modifiers, const QString& text, std::uint32_t nativeScanCode,
                        bool autoRepeat, bool capsLockOn = false);

// The character a key stands for when an event carries none, by its position code; empty for any
// other key.
QString keyFallbackFromKeyCode(std::uint16_t code);

} // namespace quelmo::keys
