#pragma once

#include "keys/KeyMonitor.h"

#include <QObject>

#include <memory>

namespace quelmo::shared {
class RawInputListener;
struct RawKeyPress;
} // namespace quelmo::shared

namespace quelmo {

// Key presses made while another application has the focus, on X11: the shared XInput2 raw-key
// listener (a display connection and a thread of its own), each press handed to the main thread.
// Raw events are copies: the other application still receives every key. Presses arriving while a
// Quelmo window is active are left to the local monitor. create() is empty where there is no X11
// display (Wayland without XWayland) or no XInput2.
class GlobalKeyMonitor final : public QObject, public KeyMonitor {
public:
    static std::shared_ptr<GlobalKeyMonitor> create(keys::KeyHandler handler);
    ~GlobalKeyMonitor() override;

    // The deck's key event for a raw press (Qt key, modifiers, typed text, position code).
    static keys::KeyEvent keyEvent(const shared::RawKeyPress& press);

private:
    explicit GlobalKeyMonitor(keys::KeyHandler handler);
    void deliver(const keys::KeyEvent& event);

    keys::KeyHandler handler_;
    std::unique_ptr<shared::RawInputListener> listener_;
};

// Whether Caps Lock is on, from the X11 keyboard state of the application's own connection (Qt's
// key events do not carry it); false without X11.
bool x11CapsLockOn();

} // namespace quelmo
