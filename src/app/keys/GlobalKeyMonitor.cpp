#include "keys/GlobalKeyMonitor.h"

#include "keys/KeyDecoding.h"
#include "shared/input/RawInputListener.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace quelmo {

keys::KeyEvent GlobalKeyMonitor::keyEvent(const shared::RawKeyPress& press) {
    Qt::KeyboardModifiers qtMods;
    if (press.shift) qtMods |= Qt::ShiftModifier;
    if (press.control) qtMods |= Qt::ControlModifier;
    if (press.alt) qtMods |= Qt::AltModifier;
    if (press.meta) qtMods |= Qt::MetaModifier;
    // Qt marks every key of the numeric keypad so; the window's presses carry it.
    if (press.keysym >= XK_KP_Space && press.keysym <= XK_KP_Equal) qtMods |= Qt::KeypadModifier;
    // The Qt key a press of this key would carry: its upper-case letter, or its (shifted) symbol.
    int qtKey = 0;
    switch (press.baseKeysym) {
    case XK_Up: qtKey = Qt::Key_Up; break;
    case XK_Down: qtKey = Qt::Key_Down; break;
    case XK_Left: qtKey = Qt::Key_Left; break;
    case XK_Right: qtKey = Qt::Key_Right; break;
    case XK_Escape: qtKey = Qt::Key_Escape; break;
    default: {
        const QString& symbol = press.text;
        if (symbol.size() == 1 && symbol[0].unicode() <= 0xff) {
            qtKey = symbol[0].toUpper().unicode();
        }
    }
    }
    return keys::keyEventFromQt(qtKey, qtMods, press.control ? QString() : press.text, press.keycode, press.repeat,
                                press.capsLock);
}

std::shared_ptr<GlobalKeyMonitor> GlobalKeyMonitor::create(keys::KeyHandler handler) {
    std::shared_ptr<GlobalKeyMonitor> monitor(new GlobalKeyMonitor(std::move(handler)));
    QPointer<GlobalKeyMonitor> self(monitor.get());
    monitor->listener_ = shared::RawInputListener::create({.keys = [self](const shared::RawKeyPress& press) {
        const keys::KeyEvent key = keyEvent(press);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [self, key] {
                if (self) {
                    self->deliver(key);
                }
            },
            Qt::QueuedConnection);
    }, .pointer = {}});
    if (!monitor->listener_) {
        return nullptr;
    }
    return monitor;
}

GlobalKeyMonitor::GlobalKeyMonitor(keys::KeyHandler handler) : handler_(std::move(handler)) {}

// The listener stops (and joins its thread) before the handler goes.
GlobalKeyMonitor::~GlobalKeyMonitor() { listener_.reset(); }

bool x11CapsLockOn() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display()) {
        return false;
    }
    XkbStateRec state{};
    return XkbGetState(x11->display(), XkbUseCoreKbd, &state) == Success && (state.locked_mods & LockMask) != 0;
}

void GlobalKeyMonitor::deliver(const keys::KeyEvent& event) {
    // A Quelmo window with the focus: the local monitor has this press already.
    if (QGuiApplication::focusWindow()) {
        return;
    }
    handler_(event);
}

} // namespace quelmo
