#pragma once

#include "keys/KeyMonitor.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <thread>

namespace quelmo {

// Key presses made while another application has the focus, on X11: an XInput2 raw-key listener
// on a display connection of its own, read by a thread of its own, each press handed to the main
// thread. Raw events are copies: the other application still receives every key. Presses arriving
// while a Quelmo window is active are left to the local monitor. create() is empty where there is
// no X11 display (Wayland without XWayland) or no XInput2.
class GlobalKeyMonitor final : public QObject, public KeyMonitor {
public:
    static std::shared_ptr<GlobalKeyMonitor> create(keys::KeyHandler handler);
    ~GlobalKeyMonitor() override;

private:
    struct Connection;
    GlobalKeyMonitor(std::unique_ptr<Connection> connection, keys::KeyHandler handler);
    void run();
    void deliver(const keys::KeyEvent& event);

    std::unique_ptr<Connection> connection_;
    keys::KeyHandler handler_;
    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

// Whether Caps Lock is on, from the X11 keyboard state of the application's own connection (Qt's
// key events do not carry it); false without X11.
bool x11CapsLockOn();

} // namespace quelmo
