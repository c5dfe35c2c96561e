#pragma once

#include "keys/KeyMonitor.h"

#include <QObject>

namespace quelmo {

// Key presses made in any Quelmo window, seen before the focused control gets them. One
// application-wide event filter serves every monitor: each press goes to all of them, in the
// order they were made, so a watcher (the light show) sees the keys a player (the deck) takes; it
// is consumed when any handler takes it and otherwise passed on unchanged.
class LocalKeyMonitor final : public KeyMonitor {
public:
    explicit LocalKeyMonitor(keys::KeyHandler handler);
    ~LocalKeyMonitor() override;

private:
    friend class LocalKeyHub;
    keys::KeyHandler handler_;
};

// What the deck controller needs from the windowing side: this monitor for the local kind, the
// X11 one for the global kind, and whether a text field or an open dialog has the keyboard.
void installKeyboardHost();

} // namespace quelmo
