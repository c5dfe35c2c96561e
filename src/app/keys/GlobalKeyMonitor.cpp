#include "keys/GlobalKeyMonitor.h"

#include "keys/KeyDecoding.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <poll.h>
#include <unistd.h>

namespace quelmo {

// The listener's own display connection and the pipe that wakes its thread to stop.
struct GlobalKeyMonitor::Connection {
    Display* display = nullptr;
    int xiOpcode = 0;
    int wake[2] = {-1, -1};

    ~Connection() {
        if (display) {
            XCloseDisplay(display);
        }
        for (int fd : wake) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
};

namespace {

// The character a keysym types, for the Latin-1 and Unicode keysyms a layout's character keys use.
QString keysymText(KeySym sym) {
    if (sym >= 0x20 && sym <= 0xff) {
        return QString(QChar(static_cast<char16_t>(sym)));
    }
    if ((sym & 0xff000000) == 0x01000000) {
        const char32_t code = static_cast<char32_t>(sym & 0x00ffffff);
        return QString::fromUcs4(&code, 1);
    }
    return {};
}

keys::KeyEvent decode(Display* display, int keycode, bool repeat) {
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    const unsigned mods = state.mods;
    Qt::KeyboardModifiers qtMods;
    if (mods & ShiftMask) qtMods |= Qt::ShiftModifier;
    if (mods & ControlMask) qtMods |= Qt::ControlModifier;
    if (mods & Mod1Mask) qtMods |= Qt::AltModifier;
    if (mods & Mod4Mask) qtMods |= Qt::MetaModifier;
    const bool capsLockOn = (mods & LockMask) != 0;
    const auto code = static_cast<KeyCode>(keycode);
    const KeySym base = XkbKeycodeToKeysym(display, code, state.group, 0);
    const KeySym shifted = XkbKeycodeToKeysym(display, code, state.group, (mods & ShiftMask) ? 1 : 0);
    // The Qt key a press of this key would carry: its upper-case letter, or its (shifted) symbol.
    int qtKey = 0;
    switch (base) {
    case XK_Up: qtKey = Qt::Key_Up; break;
    case XK_Down: qtKey = Qt::Key_Down; break;
    case XK_Left: qtKey = Qt::Key_Left; break;
    case XK_Right: qtKey = Qt::Key_Right; break;
    case XK_Escape: qtKey = Qt::Key_Escape; break;
    default: {
        const QString text = keysymText(shifted);
        if (text.size() == 1 && text[0].unicode() <= 0xff) {
            qtKey = text[0].toUpper().unicode();
        }
    }
    }
    QString typed = keysymText(shifted);
    if (capsLockOn && typed.size() == 1 && typed[0].isLetter()) {
        typed = (mods & ShiftMask) ? typed.toLower() : typed.toUpper();
    }
    return keys::keyEventFromQt(qtKey, qtMods, (mods & ControlMask) ? QString() : typed,
                                static_cast<std::uint32_t>(keycode), repeat, capsLockOn);
}

} // namespace

std::shared_ptr<GlobalKeyMonitor> GlobalKeyMonitor::create(keys::KeyHandler handler) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return nullptr;
    }
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(nullptr);
    if (!connection->display) {
        return nullptr;
    }
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 0;
    if (!XQueryExtension(connection->display, "XInputExtension", &connection->xiOpcode, &event, &error) ||
        XIQueryVersion(connection->display, &major, &minor) != Success) {
        return nullptr;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(connection->display, DefaultRootWindow(connection->display), &mask, 1);
    XSync(connection->display, False);
    if (::pipe(connection->wake) != 0) {
        return nullptr;
    }
    return std::shared_ptr<GlobalKeyMonitor>(new GlobalKeyMonitor(std::move(connection), std::move(handler)));
}

GlobalKeyMonitor::GlobalKeyMonitor(std::unique_ptr<Connection> connection, keys::KeyHandler handler)
    : connection_(std::move(connection)), handler_(std::move(handler)) {
    reader_ = std::thread([this] { run(); });
}

GlobalKeyMonitor::~GlobalKeyMonitor() {
    stopping_ = true;
    const char stop = 1;
    [[maybe_unused]] const auto written = ::write(connection_->wake[1], &stop, 1);
    reader_.join();
}

void GlobalKeyMonitor::run() {
    Display* display = connection_->display;
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {connection_->wake[0], POLLIN, 0}};
    QPointer<GlobalKeyMonitor> self(this);
    while (!stopping_) {
        if (XPending(display) == 0 && ::poll(fds, 2, -1) <= 0) {
            continue;
        }
        if (fds[1].revents != 0 || stopping_) {
            break;
        }
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            XGenericEventCookie* cookie = &event.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != connection_->xiOpcode ||
                !XGetEventData(display, cookie)) {
                continue;
            }
            if (cookie->evtype == XI_RawKeyPress) {
                const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
                const keys::KeyEvent key = decode(display, raw->detail, (raw->flags & XIKeyRepeat) != 0);
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [self, key] {
                        if (self) {
                            self->deliver(key);
                        }
                    },
                    Qt::QueuedConnection);
            }
            XFreeEventData(display, cookie);
        }
    }
}

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
