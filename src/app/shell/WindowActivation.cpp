#include "shell/WindowActivation.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstring>

namespace quelmo {
namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Whether a window manager that understands _NET_ACTIVE_WINDOW runs.
bool windowManagerActivates(xcb_connection_t* connection, xcb_window_t root) {
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    const xcb_atom_t activeWindow = internAtom(connection, "_NET_ACTIVE_WINDOW");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
    bool found = false;
    if (reply && reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count && !found; ++i) {
            found = atoms[i] == activeWindow;
        }
    }
    std::free(reply);
    return found;
}

// The user's launch time inside a startup id ("...._TIME123456"), or 0 (the current time).
uint32_t launchTime(const QByteArray& startupId) {
    const qsizetype at = startupId.lastIndexOf("_TIME");
    bool ok = false;
    const uint32_t time = at >= 0 ? startupId.mid(at + 5).toUInt(&ok) : 0;
    return ok ? time : 0;
}

void activateOnX11(QWindow* window, const QByteArray& startupId) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        window->requestActivate();
        return;
    }
    const auto id = xcb_window_t(window->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    if (windowManagerActivates(connection, root)) {
        // Source 1: an application, asking on behalf of the user's launch at that time; the
        // window manager weighs it against what the user did since.
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = internAtom(connection, "_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 1;
        event.data.data32[1] = launchTime(startupId);
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    } else {
        // No window manager: raise and focus the window ourselves.
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    }
    xcb_flush(connection);
}

} // namespace

void bringWindowForward(QWindow* window, const QByteArray& activationToken) {
    if (window->visibility() == QWindow::Minimized || !window->isVisible()) {
        window->showNormal();
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        activateOnX11(window, activationToken);
        return;
    }
    // Wayland: the launcher's token lets the compositor hand over the focus.
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland")) {
        qputenv("XDG_ACTIVATION_TOKEN", activationToken);
    }
    window->raise();
    window->requestActivate();
}

} // namespace quelmo
