#include "shared/input/RawInputListener.h"

#include "shared/input/X11Keysyms.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <poll.h>
#include <unistd.h>

namespace quelmo::shared {

// The listener's own display connection and the pipe that wakes its thread to stop.
struct RawInputListener::Connection {
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

RawKeyPress decodeKey(Display* display, int keycode, bool repeat) {
    XkbStateRec state{};
    XkbGetState(display, XkbUseCoreKbd, &state);
    const unsigned mods = state.mods;
    RawKeyPress press;
    press.keycode = static_cast<std::uint32_t>(keycode);
    press.repeat = repeat;
    press.shift = (mods & ShiftMask) != 0;
    press.control = (mods & ControlMask) != 0;
    press.alt = (mods & Mod1Mask) != 0;
    press.meta = (mods & Mod4Mask) != 0;
    press.capsLock = (mods & LockMask) != 0;
    const auto code = static_cast<KeyCode>(keycode);
    press.baseKeysym = static_cast<std::uint32_t>(XkbKeycodeToKeysym(display, code, state.group, 0));
    press.keysym =
        static_cast<std::uint32_t>(XkbKeycodeToKeysym(display, code, state.group, press.shift ? 1 : 0));
    press.text = keysymText(press.keysym);
    if (press.capsLock && press.text.size() == 1 && press.text[0].isLetter()) {
        press.text = press.shift ? press.text.toLower() : press.text.toUpper();
    }
    return press;
}

} // namespace

std::unique_ptr<RawInputListener> RawInputListener::create(Handlers handlers) {
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
    if (handlers.keys) {
        XISetMask(bits, XI_RawKeyPress);
    }
    if (handlers.pointer) {
        XISetMask(bits, XI_RawMotion);
    }
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(connection->display, DefaultRootWindow(connection->display), &mask, 1);
    XSync(connection->display, False);
    if (::pipe(connection->wake) != 0) {
        return nullptr;
    }
    return std::unique_ptr<RawInputListener>(
        new RawInputListener(std::move(connection), std::move(handlers)));
}

RawInputListener::RawInputListener(std::unique_ptr<Connection> connection, Handlers handlers)
    : connection_(std::move(connection)), handlers_(std::move(handlers)) {
    reader_ = std::thread([this] { run(); });
}

RawInputListener::~RawInputListener() {
    stopping_ = true;
    const char stop = 1;
    [[maybe_unused]] const auto written = ::write(connection_->wake[1], &stop, 1);
    reader_.join();
}

void RawInputListener::run() {
    Display* display = connection_->display;
    pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {connection_->wake[0], POLLIN, 0}};
    while (!stopping_) {
        if (XPending(display) == 0 && ::poll(fds, 2, -1) <= 0) {
            continue;
        }
        if (fds[1].revents != 0 || stopping_) {
            break;
        }
        while (XPending(display) > 0 && !stopping_) {
            XEvent event;
            XNextEvent(display, &event);
            XGenericEventCookie* cookie = &event.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != connection_->xiOpcode ||
                !XGetEventData(display, cookie)) {
                continue;
            }
            if (cookie->evtype == XI_RawKeyPress && handlers_.keys) {
                const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
                handlers_.keys(decodeKey(display, raw->detail, (raw->flags & XIKeyRepeat) != 0));
            } else if (cookie->evtype == XI_RawMotion && handlers_.pointer) {
                Window root = 0;
                Window child = 0;
                int rootX = 0;
                int rootY = 0;
                int winX = 0;
                int winY = 0;
                unsigned int buttons = 0;
                if (XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &winX,
                                  &winY, &buttons)) {
                    handlers_.pointer(rootX, rootY);
                }
            }
            XFreeEventData(display, cookie);
        }
    }
}

} // namespace quelmo::shared
