#include "shared/input/XTestTyper.h"

#include "shared/Log.h"
#include "shared/input/X11Keysyms.h"

#include <QList>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <memory>
#include <thread>
#include <vector>

namespace quelmo::shared {
namespace {

// Time for clients to read the temporary mapping before it is given back: they look keysyms up
// when they process the key event, not when it is sent.
constexpr std::chrono::milliseconds settleBeforeRestore{150};

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// The keyboard map of one connection, with the spare key codes (no symbol at all) taken one by one.
class KeyboardMap {
public:
    explicit KeyboardMap(Display* display) : display_(display) {
        XDisplayKeycodes(display, &minCode_, &maxCode_);
        KeySym* syms =
            XGetKeyboardMapping(display, static_cast<KeyCode>(minCode_), maxCode_ - minCode_ + 1, &perCode_);
        if (!syms) {
            perCode_ = 0;
            return;
        }
        syms_.assign(syms, syms + (maxCode_ - minCode_ + 1) * perCode_);
        XFree(syms);
    }

    // The key code and whether Shift is needed, for a symbol in the first group; 0 when absent.
    std::pair<KeyCode, bool> find(KeySym sym) const {
        for (int code = minCode_; code <= maxCode_; ++code) {
            for (int level = 0; level < 2 && level < perCode_; ++level) {
                if (syms_[index(code, level)] == sym) {
                    return {static_cast<KeyCode>(code), level == 1};
                }
            }
        }
        return {0, false};
    }

    // Maps a spare key code to sym (on both levels, so case rules leave it as it is); 0 when every
    // key code is in use.
    KeyCode borrow(KeySym sym) {
        if (perCode_ < 2) {
            return 0;
        }
        for (int code = maxCode_; code >= minCode_; --code) {
            if (isSpare(code)) {
                std::vector<KeySym> mapped{sym, sym};
                mapped.resize(static_cast<std::size_t>(perCode_), NoSymbol);
                XChangeKeyboardMapping(display_, code, perCode_, mapped.data(), 1);
                XSync(display_, False);
                std::copy(mapped.begin(), mapped.end(), syms_.begin() + static_cast<long>(index(code, 0)));
                borrowed_.push_back(code);
                return static_cast<KeyCode>(code);
            }
        }
        return 0;
    }

    // Gives every borrowed key code back its empty mapping.
    void restore() {
        std::vector<KeySym> empty(static_cast<std::size_t>(perCode_), NoSymbol);
        for (int code : borrowed_) {
            XChangeKeyboardMapping(display_, code, perCode_, empty.data(), 1);
        }
        XSync(display_, False);
        borrowed_.clear();
    }

    bool borrowedAny() const { return !borrowed_.empty(); }

private:
    std::size_t index(int code, int level) const {
        return static_cast<std::size_t>((code - minCode_) * perCode_ + level);
    }
    bool isSpare(int code) const {
        for (int level = 0; level < perCode_; ++level) {
            if (syms_[index(code, level)] != NoSymbol) {
                return false;
            }
        }
        return true;
    }

    Display* display_;
    int minCode_ = 0;
    int maxCode_ = 0;
    int perCode_ = 0;
    std::vector<KeySym> syms_;
    std::vector<int> borrowed_;
};

} // namespace

bool XTestTyper::type(const QString& text) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return false;
    }
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!display || !XTestQueryExtension(display.get(), &event, &error, &major, &minor)) {
        return false;
    }
    KeyboardMap map(display.get());
    const KeyCode shiftCode = XKeysymToKeycode(display.get(), XK_Shift_L);
    for (const char32_t character : text.toUcs4()) {
        const KeySym sym = keysymForCharacter(character);
        auto [code, shifted] = map.find(sym);
        if (code == 0) {
            code = map.borrow(sym);
            shifted = false;
        }
        if (code == 0) {
            // Which character stays out of the log: what is typed may be private.
            logLine(QStringLiteral("⚠️ EventTap: No free key code left to type a character"));
            continue;
        }
        if (shifted && shiftCode) {
            XTestFakeKeyEvent(display.get(), shiftCode, True, CurrentTime);
        }
        XTestFakeKeyEvent(display.get(), code, True, CurrentTime);
        XTestFakeKeyEvent(display.get(), code, False, CurrentTime);
        if (shifted && shiftCode) {
            XTestFakeKeyEvent(display.get(), shiftCode, False, CurrentTime);
        }
        XSync(display.get(), False);
        std::this_thread::sleep_for(pauseBetweenCharacters);
    }
    if (map.borrowedAny()) {
        std::this_thread::sleep_for(settleBeforeRestore);
        map.restore();
    }
    return true;
}

} // namespace quelmo::shared
