// A key typed into another application reaches the deck decoded exactly as the same key typed into
// Quelmo's window: same characters, same key, same modifiers, on more than one layout. Runs on an X
// server of its own (with_display.sh); XTest plays the keyboard, a bare X window of a second
// client stands in for the other application.

#include "keys/GlobalKeyMonitor.h"
#include "keys/KeyMonitor.h"
#include "keys/LocalKeyMonitor.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <QWindow>

#include <gtest/gtest.h>

// After gtest: Xlib's macros (None, Bool) would rename its types.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using quelmo::KeyMonitor;
using quelmo::keys::KeyEvent;
using quelmo::keys::MonitorKind;

namespace {

std::string describe(const KeyEvent& e) {
    return "{\"" + e.characters.toStdString() + "\", \"" + e.charactersIgnoringModifiers.toStdString() +
           "\", code " + std::to_string(e.keyCode) + ", mods " + std::to_string(e.modifiers >> 16) +
           (e.isAutoRepeat ? ", repeat}" : "}");
}

std::string describe(const std::vector<KeyEvent>& events) {
    std::string out;
    for (const auto& e : events) {
        out += describe(e) + " ";
    }
    return out;
}

bool waitUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// One press as the hand makes it: X key codes (evdev + 8) pressed in order and released in reverse,
// all sent at once, as fast as a quick hand or faster.
struct Press {
    const char* name;
    std::vector<unsigned> keys;
    unsigned lock = 0; // a lock key (Num Lock, Caps Lock) switched on before the press and off after
};

class Desk {
public:
    Desk() {
        quelmo::installKeyboardHost();
        auto& host = quelmo::keys::keyboardHost();
        local_ = host.makeMonitor(MonitorKind::local, [this](const KeyEvent& e) {
            local.push_back(e);
            return true;
        });
        global_ = host.makeMonitor(MonitorKind::global, [this](const KeyEvent& e) {
            global.push_back(e);
            return false;
        });
        window_.setTitle(QStringLiteral("Quelmo"));
        window_.resize(200, 200);
        window_.show();
        other_ = XOpenDisplay(nullptr);
        foreign_ = XCreateSimpleWindow(other_, DefaultRootWindow(other_), 300, 0, 200, 200, 0, 0, 0);
        XMapWindow(other_, foreign_);
        // Num Lock and Caps Lock off to begin with (this server starts with Num Lock on).
        XkbLockModifiers(other_, XkbUseCoreKbd, XkbKeysymToModifiers(other_, XK_Num_Lock) | LockMask, 0);
        XSync(other_, False);
    }
    ~Desk() {
        local_.reset();
        global_.reset();
        XDestroyWindow(other_, foreign_);
        XCloseDisplay(other_);
    }
    bool ready() const { return global_ != nullptr; }
    void setRepeat(unsigned delayMs, unsigned intervalMs) {
        XkbSetAutoRepeatRate(other_, XkbUseCoreKbd, delayMs, intervalMs);
        XSync(other_, False);
    }

    void focusQuelmo() {
        XSetInputFocus(other_, static_cast<Window>(window_.winId()), RevertToParent, CurrentTime);
        XSync(other_, False);
        ASSERT_TRUE(waitUntil([this] { return QGuiApplication::focusWindow() == &window_; }));
    }
    void focusOtherApplication() {
        XSetInputFocus(other_, foreign_, RevertToParent, CurrentTime);
        XSync(other_, False);
        ASSERT_TRUE(waitUntil([] { return QGuiApplication::focusWindow() == nullptr; }));
    }
    void type(const Press& press) {
        for (unsigned key : press.keys) {
            XTestFakeKeyEvent(other_, key, True, CurrentTime);
        }
        for (auto key = press.keys.rbegin(); key != press.keys.rend(); ++key) {
            XTestFakeKeyEvent(other_, *key, False, CurrentTime);
        }
        XSync(other_, False);
    }
    void hold(unsigned key, int ms) {
        XTestFakeKeyEvent(other_, key, True, CurrentTime);
        XSync(other_, False);
        waitUntil([] { return false; }, ms);
        XTestFakeKeyEvent(other_, key, False, CurrentTime);
        XSync(other_, False);
    }
    // Events seen until the monitors have been quiet for a moment.
    void settle() {
        std::size_t seen = local.size() + global.size();
        for (int quiet = 0; quiet < 10;) {
            waitUntil([] { return false; }, 20);
            const std::size_t now = local.size() + global.size();
            quiet = now == seen ? quiet + 1 : 0;
            seen = now;
        }
    }

    std::vector<KeyEvent> local;
    std::vector<KeyEvent> global;

private:
    QWindow window_;
    Display* other_ = nullptr;
    Window foreign_ = 0;
    std::shared_ptr<KeyMonitor> local_;
    std::shared_ptr<KeyMonitor> global_;
};

void useLayout(const char* layout) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QString::fromLatin1(layout)}), 0) << layout;
    QThread::msleep(100); // both connections hear of the new keymap before the next key
    QCoreApplication::processEvents();
}

// Key codes on a PC keyboard: evdev number + 8.
constexpr unsigned shiftL = 50, controlL = 37, altL = 64, altGr = 108, numLock = 77, capsLock = 66, kp1 = 87,
                   kp5 = 84;
constexpr unsigned k1 = 10, k8 = 17, kR = 27, kA = 38, kY = 29, kBracketL = 34, kMinus = 20, kEqual = 21,
                   kSpace = 65, kQ = 24, kUp = 111, kEscape = 9, kSlash = 61;

const std::vector<Press> table = {
    {"1", {k1}},
    {"Shift+1", {shiftL, k1}},
    {"8", {k8}},
    {"AltGr+8", {altGr, k8}},
    {"Ctrl+R, fast", {controlL, kR}},
    {"Ctrl+A", {controlL, kA}},
    {"Alt+Q", {altL, kQ}},
    {"key right of T", {kY}},
    {"key right of P", {kBracketL}},
    {"key right of 0", {kMinus}},
    {"Shift+key left of Backspace", {shiftL, kEqual}},
    {"AltGr+Q", {altGr, kQ}},
    {"Shift+slash key", {shiftL, kSlash}},
    {"Space", {kSpace}},
    {"Up", {kUp}},
    {"Shift+Up", {shiftL, kUp}},
    {"Escape", {kEscape}},
    {"keypad 1, Num Lock off", {kp1}},
    {"keypad 1, Num Lock on", {kp1}, numLock},
    {"keypad 5, Num Lock on", {kp5}, numLock},
    {"A, Caps Lock on", {kA}, capsLock},
    {"Shift+A, Caps Lock on", {shiftL, kA}, capsLock},
};

// What one press gives, with its lock key switched on around it.
std::vector<KeyEvent> pressOnce(Desk& desk, const Press& press, bool elsewhere) {
    if (elsewhere) {
        desk.focusOtherApplication();
    } else {
        desk.focusQuelmo();
    }
    if (press.lock) {
        desk.type({"lock", {press.lock}});
        desk.settle();
    }
    desk.local.clear();
    desk.global.clear();
    desk.type(press);
    desk.settle();
    std::vector<KeyEvent> seen = elsewhere ? desk.global : desk.local;
    EXPECT_TRUE((elsewhere ? desk.local : desk.global).empty()) << press.name << ": heard by one monitor only";
    if (press.lock) {
        desk.type({"lock", {press.lock}});
        desk.settle();
    }
    return seen;
}

} // namespace

TEST(KeysFromOtherApplications, DecodeAsTheWindowDecodesThemOnUsAndGermanLayouts) {
    Desk desk;
    ASSERT_TRUE(desk.ready()) << "no global key monitor on this display";
    for (const char* layout : {"us", "de"}) {
        useLayout(layout);
        for (const Press& press : table) {
            const std::vector<KeyEvent> inWindow = pressOnce(desk, press, false);
            ASSERT_FALSE(inWindow.empty()) << layout << ", " << press.name << ": the window heard nothing";
            EXPECT_EQ(describe(pressOnce(desk, press, true)), describe(inWindow))
                << layout << ", " << press.name << ": another application's key against the window's";
        }
    }
}

TEST(KeysFromOtherApplications, AHeldKeyRepeatsAsItDoesInTheWindow) {
    Desk desk;
    ASSERT_TRUE(desk.ready());
    useLayout("us");
    desk.setRepeat(200, 40);
    const auto repeats = [](const std::vector<KeyEvent>& events) {
        return std::count_if(events.begin(), events.end(), [](const KeyEvent& e) { return e.isAutoRepeat; });
    };
    for (bool elsewhere : {false, true}) {
        desk.local.clear();
        desk.global.clear();
        if (elsewhere) {
            desk.focusOtherApplication();
        } else {
            desk.focusQuelmo();
        }
        desk.hold(kUp, 600); // the first repeat after 200 ms, then one every 40 ms
        desk.settle();
        const auto& events = elsewhere ? desk.global : desk.local;
        ASSERT_FALSE(events.empty()) << (elsewhere ? "elsewhere" : "in the window");
        EXPECT_FALSE(events.front().isAutoRepeat);
        EXPECT_GE(repeats(events), 5) << (elsewhere ? "elsewhere: " : "in the window: ") << describe(events);
        EXPECT_LE(repeats(events), 12) << "and they stop when the key is let go";
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
