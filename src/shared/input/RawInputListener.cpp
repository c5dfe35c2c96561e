#include "shared/input/RawInputListener.h"


#include <xcb/xcb.h>
#include <xcb/xinput.h>
#define explicit explicit_ // xkb.h names a member "explicit"
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

namespace quelmo::shared {

namespace {
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;
} // namespace

// The listener's own connection to the X server and the keyboard state it keeps from the server's
// XKB events. It is an xcb connection, not an Xlib one: when the X server goes away, xcb reports
// the broken connection and the thread ends quietly, where Xlib would run the process-wide I/O
// error handler, which ends the whole process with exit() from this thread.
struct RawInputListener::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;
    std::uint8_t xinputOpcode = 0;
    std::uint8_t xkbEventBase = 0;
    std::int32_t keyboard = -1; // the core keyboard's XKB device
    xkb_context* context = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    int wake[2] = {-1, -1};

    // Raw events come only for what the hand does: the server's auto-repeat of a held key makes
    // none. The listener repeats the last key pressed as the server would, with its delay and
    // rate, until that key is released.
    using Clock = std::chrono::steady_clock;
    xcb_keycode_t repeating = 0;
    Clock::time_point nextRepeat;
    Clock::duration repeatInterval{};

    ~Connection() {
        dropKeymap();
        if (context) {
            xkb_context_unref(context);
        }
        if (xcb) {
            xcb_disconnect(xcb);
        }
        for (int fd : wake) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }

    void dropKeymap() {
        if (state) {
            xkb_state_unref(state);
            state = nullptr;
        }
        if (keymap) {
            xkb_keymap_unref(keymap);
            keymap = nullptr;
        }
    }

    // The keymap and state as the server has them now (after a layout change too).
    bool loadKeymap() {
        xkb_keymap* fresh = xkb_x11_keymap_new_from_device(context, xcb, keyboard, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!fresh) {
            return false;
        }
        xkb_state* freshState = xkb_x11_state_new_from_device(fresh, xcb, keyboard);
        if (!freshState) {
            xkb_keymap_unref(fresh);
            return false;
        }
        dropKeymap();
        keymap = fresh;
        state = freshState;
        return true;
    }

    // Keys need the keyboard's layout and the modifier and group state as it changes: XKB tells
    // this connection about both, in order with the raw key events.
    bool setUpKeyboard() {
        if (!xkb_x11_setup_xkb_extension(xcb, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &xkbEventBase,
                                         nullptr)) {
            return false;
        }
        keyboard = xkb_x11_get_core_keyboard_device_id(xcb);
        context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        if (keyboard < 0 || !context || !loadKeymap()) {
            return false;
        }
        constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                         XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
        constexpr std::uint16_t mapParts =
            XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
            XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
            XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
        constexpr std::uint16_t stateParts =
            XCB_XKB_STATE_PART_MODIFIER_BASE | XCB_XKB_STATE_PART_MODIFIER_LATCH | XCB_XKB_STATE_PART_MODIFIER_LOCK |
            XCB_XKB_STATE_PART_GROUP_BASE | XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
        xcb_xkb_select_events_details_t details{};
        details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
        details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
        details.affectState = stateParts;
        details.stateDetails = stateParts;
        xcb_generic_error_t* error = xcb_request_check(
            xcb, xcb_xkb_select_events_aux_checked(xcb, static_cast<xcb_xkb_device_spec_t>(keyboard), events, 0, 0,
                                                   mapParts, mapParts, &details));
        std::free(error);
        return error == nullptr;
    }

    // A key went down: it repeats from now on if it is a key that repeats and repeating is on.
    void startRepeat(xcb_keycode_t keycode) {
        repeating = 0;
        if (!xkb_keymap_key_repeats(keymap, keycode)) {
            return;
        }
        const Reply<xcb_xkb_get_controls_reply_t> controls(xcb_xkb_get_controls_reply(
            xcb, xcb_xkb_get_controls(xcb, static_cast<xcb_xkb_device_spec_t>(keyboard)), nullptr));
        if (!controls || !(controls->enabledControls & XCB_XKB_BOOL_CTRL_REPEAT_KEYS) || controls->repeatInterval == 0) {
            return;
        }
        repeating = keycode;
        nextRepeat = Clock::now() + std::chrono::milliseconds(controls->repeatDelay);
        repeatInterval = std::chrono::milliseconds(controls->repeatInterval);
    }

    void keyReleased(xcb_keycode_t keycode) {
        if (keycode == repeating) {
            repeating = 0;
        }
    }

    // How long poll may wait: until the next repeat is due, or for ever.
    int pollTimeout() const {
        if (!repeating) {
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextRepeat - Clock::now()).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
    }

    // A key as it goes down (or repeats): its symbol and text with the modifiers in force before it,
    // the modifiers as they are with it down, as a window's key event has them (Shift's own press
    // carries Shift): the server's state report for the key comes only after its raw event.
    RawKeyPress decodeKey(xcb_keycode_t keycode, bool repeat) const {
        RawKeyPress press;
        press.keycode = keycode;
        press.repeat = repeat;
        const xkb_layout_index_t layout = xkb_state_key_get_layout(state, keycode);
        const xkb_keysym_t* symbols = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, 0, &symbols) > 0) {
            press.baseKeysym = symbols[0];
        }
        // The symbol with every modifier in force: Shift, Caps Lock, the AltGr levels, NumLock.
        press.keysym = xkb_state_key_get_one_sym(state, keycode);
        // xkbcommon's text of a symbol covers the keypad's digits and signs too.
        const char32_t typed = xkb_keysym_to_utf32(press.keysym);
        press.text = typed >= 0x20 && typed != 0x7f ? QString::fromUcs4(&typed, 1) : QString();
        // The state with the key down, worked out on a copy: the server's own report follows.
        const std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> withKey(xkb_state_new(keymap), xkb_state_unref);
        xkb_state* const after = withKey ? withKey.get() : state;
        if (withKey) {
            xkb_state_update_mask(after, xkb_state_serialize_mods(state, XKB_STATE_MODS_DEPRESSED),
                                  xkb_state_serialize_mods(state, XKB_STATE_MODS_LATCHED),
                                  xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED),
                                  xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_DEPRESSED),
                                  xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_LATCHED),
                                  xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_LOCKED));
            if (!repeat) {
                xkb_state_update_key(after, keycode, XKB_KEY_DOWN);
            }
        }
        const auto active = [after](const char* name) {
            return xkb_state_mod_name_is_active(after, name, XKB_STATE_MODS_EFFECTIVE) > 0;
        };
        press.shift = active(XKB_MOD_NAME_SHIFT);
        press.control = active(XKB_MOD_NAME_CTRL);
        press.alt = active(XKB_MOD_NAME_ALT);
        press.meta = active(XKB_MOD_NAME_LOGO);
        press.capsLock = active(XKB_MOD_NAME_CAPS);
        return press;
    }

    // An XKB event: the layout or the modifier and group state changed.
    void keyboardChanged(const xcb_generic_event_t* event) {
        struct Any {
            std::uint8_t responseType;
            std::uint8_t xkbType;
            std::uint16_t sequence;
            xcb_timestamp_t time;
            std::uint8_t deviceId;
        };
        const auto* any = reinterpret_cast<const Any*>(event);
        if (any->deviceId != keyboard) {
            return;
        }
        switch (any->xkbType) {
        case XCB_XKB_NEW_KEYBOARD_NOTIFY:
            if (reinterpret_cast<const xcb_xkb_new_keyboard_notify_event_t*>(event)->changed &
                XCB_XKB_NKN_DETAIL_KEYCODES) {
                loadKeymap();
            }
            break;
        case XCB_XKB_MAP_NOTIFY:
            loadKeymap();
            break;
        case XCB_XKB_STATE_NOTIFY: {
            const auto* change = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
            xkb_state_update_mask(state, change->baseMods, change->latchedMods, change->lockedMods,
                                  static_cast<xkb_layout_index_t>(change->baseGroup),
                                  static_cast<xkb_layout_index_t>(change->latchedGroup),
                                  static_cast<xkb_layout_index_t>(change->lockedGroup));
            break;
        }
        default:
            break;
        }
    }
};

std::unique_ptr<RawInputListener> RawInputListener::create(Handlers handlers) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return nullptr;
    }
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    connection->xcb = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection->xcb)) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return nullptr;
    }
    connection->root = screens.data->root;

    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(connection->xcb, &xcb_input_id);
    if (!xinput || !xinput->present) {
        return nullptr;
    }
    connection->xinputOpcode = xinput->major_opcode;
    // Raw events go only to clients that said they speak XInput 2.
    const Reply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
        connection->xcb, xcb_input_xi_query_version(connection->xcb, 2, 0), nullptr));
    if (!version || version->major_version < 2) {
        return nullptr;
    }
    if (handlers.keys && !connection->setUpKeyboard()) {
        return nullptr;
    }
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, 0};
    if (handlers.keys) {
        mask.bits |= XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
    }
    if (handlers.pointer) {
        mask.bits |= XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;
    }
    xcb_generic_error_t* error = xcb_request_check(
        connection->xcb, xcb_input_xi_select_events_checked(connection->xcb, connection->root, 1, &mask.head));
    if (error) {
        std::free(error);
        return nullptr;
    }
    if (::pipe2(connection->wake, O_CLOEXEC) != 0) {
        return nullptr;
    }
    return std::unique_ptr<RawInputListener>(new RawInputListener(std::move(connection), std::move(handlers)));
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
    Connection& c = *connection_;
    pollfd fds[2] = {{xcb_get_file_descriptor(c.xcb), POLLIN, 0}, {c.wake[0], POLLIN, 0}};
    while (!stopping_) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c.xcb)) {
            const std::unique_ptr<xcb_generic_event_t, FreeReply> event(raw);
            if (stopping_) {
                return;
            }
            const std::uint8_t type = event->response_type & 0x7f;
            if (type == c.xkbEventBase && c.state) {
                c.keyboardChanged(event.get());
                continue;
            }
            if (type != XCB_GE_GENERIC) {
                continue;
            }
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
            if (generic->extension != c.xinputOpcode) {
                continue;
            }
            if (generic->event_type == XCB_INPUT_RAW_KEY_PRESS && handlers_.keys) {
                const auto* key = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event.get());
                const auto keycode = static_cast<xcb_keycode_t>(key->detail);
                handlers_.keys(c.decodeKey(keycode, false));
                c.startRepeat(keycode);
            } else if (generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
                c.keyReleased(static_cast<xcb_keycode_t>(
                    reinterpret_cast<const xcb_input_raw_key_release_event_t*>(event.get())->detail));
            } else if (generic->event_type == XCB_INPUT_RAW_MOTION && handlers_.pointer) {
                const Reply<xcb_query_pointer_reply_t> pointer(
                    xcb_query_pointer_reply(c.xcb, xcb_query_pointer(c.xcb, c.root), nullptr));
                if (pointer) {
                    handlers_.pointer(pointer->root_x, pointer->root_y);
                }
            }
        }
        if (xcb_connection_has_error(c.xcb)) {
            return; // the X server went away: nothing more to hear
        }
        if (c.repeating && c.pollTimeout() == 0) {
            if (handlers_.keys) {
                handlers_.keys(c.decodeKey(c.repeating, true));
            }
            c.nextRepeat += c.repeatInterval;
            continue;
        }
        if (::poll(fds, 2, c.pollTimeout()) < 0 && errno != EINTR) {
            return;
        }
        // Woken to stop, or events (or the connection's end) to read: the loop's condition and the
        // reads above tell which.
    }
}

} // namespace quelmo::shared
