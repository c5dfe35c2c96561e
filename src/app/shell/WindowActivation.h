#pragma once

#include <QByteArray>

class QWindow;

namespace quelmo {

// Brings a top-level window forward and gives it the keyboard focus, as a second launch of the
// application asks. `activationToken` is what the launcher handed the second launch: the X11
// startup id (its "_TIME" part is the moment of the user's launch) or a Wayland activation token.
//
// Main thread only.
void bringWindowForward(QWindow* window, const QByteArray& activationToken);

} // namespace quelmo
