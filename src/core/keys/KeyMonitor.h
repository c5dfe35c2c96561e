#pragma once

#include "keys/KeyEvent.h"

#include <functional>
#include <memory>

namespace quelmo {

// A live subscription to key presses; dropping it ends the subscription.
class KeyMonitor {
public:
    virtual ~KeyMonitor() = default;
};

namespace keys {

// The local monitor sees presses while a Quelmo window has the focus and may consume them (the
// handler returns true); the global one sees presses made in other applications, after the fact,
// and never consumes them.
enum class MonitorKind { local, global };
using KeyHandler = std::function<bool(const KeyEvent&)>;

// What the windowing side provides to the deck controller, which knows no GUI. The application
// fills it in at start-up; without it (tests of the core, a headless run) there are no monitors
// and the keyboard is never taken.
struct KeyboardHost {
    // Absent when the platform has no such monitor (no global one on Wayland, for example).
    std::function<std::shared_ptr<KeyMonitor>(MonitorKind, KeyHandler)> makeMonitor;
    // Whether the keyboard belongs to something else of Quelmo's for now: a text field or text area
    // with the focus, or an open dialog.
    std::function<bool()> keyboardIsTaken;
};
KeyboardHost& keyboardHost();

} // namespace keys
} // namespace quelmo
