#pragma once

#include "keys/KeyMonitor.h"

#include <QObject>

namespace quelmo {

// Key presses made in any Quelmo window, seen before the focused control gets them: an
// application-wide event filter that consumes a press when the handler takes it and passes every
// other one on unchanged.
class LocalKeyMonitor final : public QObject, public KeyMonitor {
public:
    explicit LocalKeyMonitor(keys::KeyHandler handler);
    ~LocalKeyMonitor() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    keys::KeyHandler handler_;
};

// What the deck controller needs from the windowing side: this monitor for the local kind, the
// X11 one for the global kind, and whether a text field or an open dialog has the keyboard.
void installKeyboardHost();

} // namespace quelmo
