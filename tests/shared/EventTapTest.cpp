// Runs under an X server of its own (with_desktop_services.sh): xdotool plays the user.
#include "shared/Log.h"
#include "shared/input/EventTapManager.h"
#include "support/EventLoop.h"

#include <QProcess>

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <thread>

// Last: Xlib's macros (None, Bool...) would clash with names in the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
// clang-format on

using namespace quelmo::shared;
using quelmo::test::spinFor;
using quelmo::test::spinUntil;

namespace {

struct KeySeen {
    QString characters;
    std::uint16_t keyCode;
    bool isDelete;
};

void xdotool(const QStringList& args) {
    ASSERT_EQ(QProcess::execute("xdotool", args), 0) << args.join(' ').toStdString();
}

// A plain X window on a connection of its own that has the keyboard focus and records the keysym
// of every key but the modifiers pressed in it, looked up the way applications do (with Shift and the current
// map).
class FocusedWindow {
public:
    FocusedWindow() : display_(XOpenDisplay(nullptr)) {
        const int screen = DefaultScreen(display_);
        window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 200, 200, 0, 0,
                                      WhitePixel(display_, screen));
        XSelectInput(display_, window_, KeyPressMask | StructureNotifyMask);
        XMapWindow(display_, window_);
        XEvent event;
        do {
            XNextEvent(display_, &event);
        } while (event.type != MapNotify);
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
    }
    ~FocusedWindow() {
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    // The keysyms of the next count key presses (fewer when they do not come within seconds).
    std::vector<KeySym> keysyms(std::size_t count, int seconds = 10) {
        std::vector<KeySym> seen;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
            if (XPending(display_) == 0) {
                ::poll(&fd, 1, 50);
                continue;
            }
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
            } else if (event.type == KeyPress) {
                char text[16];
                KeySym sym = NoSymbol;
                XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
                if (!IsModifierKey(sym)) {
                    seen.push_back(sym);
                }
            }
        }
        return seen;
    }

private:
    Display* display_;
    Window window_ = 0;
};

} // namespace

TEST(EventTapDesktopTest, KeyTrackingSeesKeysTypedIntoOtherApplications) {
    EventTapManager taps;
    ASSERT_TRUE(taps.checkAccessibility());
    std::vector<KeySeen> keys;
    ScopedLogCapture log;
    ASSERT_TRUE(taps.startKeyTracking([&](const QString& characters, std::uint16_t keyCode, bool isDelete) {
        keys.push_back({characters, keyCode, isDelete});
    }));
    EXPECT_EQ(log.lines(), std::vector<QString>{"✅ Key tracking started"});
    xdotool({"key", "a", "BackSpace", "semicolon"});
    ASSERT_TRUE(spinUntil([&] { return keys.size() >= 3; }, 5000)) << keys.size();
    EXPECT_EQ(keys[0].characters, "a");
    EXPECT_FALSE(keys[0].isDelete);
    EXPECT_TRUE(keys[1].isDelete);
    EXPECT_EQ(keys[2].characters, ";");
    EXPECT_FALSE(keys[2].isDelete);
    EXPECT_NE(keys[0].keyCode, keys[1].keyCode);
}

TEST(EventTapDesktopTest, MouseTrackingSeesMovesAndDrags) {
    EventTapManager taps;
    std::vector<QPointF> points;
    ASSERT_TRUE(taps.startMouseTracking([&](QPointF point) { points.push_back(point); }));
    // Moving the pointer by program (a warp) is not the user's motion: nothing is reported.
    xdotool({"mousemove", "100", "200"});
    // Relative motion is what a mouse sends.
    xdotool({"mousemove_relative", "10", "20"});
    ASSERT_TRUE(spinUntil([&] { return !points.empty() && points.back() == QPointF(110, 220); }, 5000));
    xdotool({"mousedown", "1", "mousemove_relative", "50", "60", "mouseup", "1"});
    ASSERT_TRUE(spinUntil([&] { return points.back() == QPointF(160, 280); }, 5000));
    EXPECT_EQ(points.front(), QPointF(110, 220));
}

// Stopping removes the listeners: starting again, or starting twice, still gives one delivery per
// key, and nothing arrives while stopped.
TEST(EventTapDesktopTest, EachKeyArrivesOnceHoweverOftenTrackingRestarts) {
    EventTapManager taps;
    QString typed;
    auto record = [&](const QString& characters, std::uint16_t, bool) { typed += characters; };
    ASSERT_TRUE(taps.startKeyTracking(record));
    taps.stopAll();
    EXPECT_FALSE(taps.isKeyTracking());
    xdotool({"key", "x"});
    ASSERT_TRUE(taps.startKeyTracking(record));
    ASSERT_TRUE(taps.startKeyTracking(record));
    xdotool({"key", "b", "c"});
    ASSERT_TRUE(spinUntil([&] { return typed.contains('c'); }, 5000)) << typed.toStdString();
    spinFor(300); // room for a second delivery, were there one
    EXPECT_EQ(typed.toStdString(), "bc");

    taps.stopAll();
    xdotool({"key", "d"});
    spinFor(300);
    EXPECT_EQ(typed.toStdString(), "bc");
}

TEST(EventTapDesktopTest, TypeTextArrivesAsThoseCharactersEvenOutsideTheKeymap) {
    FocusedWindow window;
    // "é" and "€" are not on the server's US keymap: they go through a borrowed key code.
    std::thread typist([] { EventTapManager::typeText(QStringLiteral("aé€A")); });
    const std::vector<KeySym> seen = window.keysyms(4);
    typist.join();
    EXPECT_EQ(seen, (std::vector<KeySym>{XK_a, XK_eacute, 0x010020ac, XK_A}));

    // The borrowed key codes are given back: typing again still works, and the map is as it was.
    std::thread again([] { EventTapManager::typeText(QStringLiteral("é")); });
    EXPECT_EQ(window.keysyms(1), std::vector<KeySym>{XK_eacute});
    again.join();
    Display* display = XOpenDisplay(nullptr);
    EXPECT_EQ(XKeysymToKeycode(display, XK_eacute), 0);
    XCloseDisplay(display);
}
