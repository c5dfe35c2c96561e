// Presses a mouse button (or a key) through the XTest extension and stamps each press with
// CLOCK_MONOTONIC the moment XSync returns, that is once the X server has processed the fake event
// and queued it for the clients: the press time of a click-to-sound measurement, on the same clock
// as quelmo_monitor_recorder's blocks. The pointer stays where it is; move it first.
// Prints one line per press: "<press stamp ns> <ns spent in XSync> <release stamp ns>"; the release
// stamp is the click's time for a control that acts when the button comes up.
// Usage: quelmo_xtest_press [--key KEYSYM_NAME[,KEYSYM_NAME...] | --button N] COUNT INTERVAL_MS
//        With several keys, the presses go through them in turn (a typist's spread of keys).
//        Presses are INTERVAL_MS apart, give or take a fifth (spread evenly, so the presses do not
//        lock to the audio's period); each is released 40 ms after it.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

int main(int argc, char** argv) {
    unsigned int button = 1;
    const char* keyName = nullptr;
    int arg = 1;
    if (argc > 2 && std::strcmp(argv[1], "--key") == 0) {
        keyName = argv[2];
        arg = 3;
    } else if (argc > 2 && std::strcmp(argv[1], "--button") == 0) {
        button = static_cast<unsigned int>(std::strtoul(argv[2], nullptr, 10));
        arg = 3;
    }
    if (argc - arg != 2) {
        std::fprintf(stderr, "usage: %s [--key KEYSYM_NAME[,KEYSYM_NAME...] | --button N] COUNT INTERVAL_MS\n", argv[0]);
        return 2;
    }
    const long count = std::strtol(argv[arg], nullptr, 10);
    const long intervalMs = std::strtol(argv[arg + 1], nullptr, 10);

    Display* display = XOpenDisplay(nullptr);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fprintf(stderr, "no X display with XTest\n");
        return 1;
    }
    std::vector<KeyCode> keys;
    if (keyName) {
        const std::string names = keyName;
        for (std::size_t start = 0; start <= names.size();) {
            const std::size_t comma = std::min(names.find(',', start), names.size());
            const std::string name = names.substr(start, comma - start);
            const KeySym sym = XStringToKeysym(name.c_str());
            const KeyCode key = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
            if (key == 0) {
                std::fprintf(stderr, "no key for %s\n", name.c_str());
                return 1;
            }
            keys.push_back(key);
            start = comma + 1;
        }
    }
    long pressIndex = 0;
    auto fake = [&](bool down) {
        if (keyName) {
            const KeyCode key = keys[static_cast<std::size_t>(pressIndex) % keys.size()];
            XTestFakeKeyEvent(display, key, down ? True : False, CurrentTime);
        } else {
            XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
        }
    };
    XSync(display, False);
    for (long i = 0; i < count; ++i) {
        pressIndex = i;
        const std::int64_t before = monotonicNs();
        fake(true);
        XSync(display, False);
        const std::int64_t pressed = monotonicNs();
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        fake(false);
        XSync(display, False);
        const std::int64_t released = monotonicNs();
        std::printf("%lld %lld %lld\n", static_cast<long long>(pressed), static_cast<long long>(pressed - before),
                    static_cast<long long>(released));
        std::fflush(stdout);
        // Spread evenly over the interval +- 20 % (golden-ratio steps), so the presses fall on every
        // part of the audio's period.
        const double fraction = std::fmod(static_cast<double>(i) * 0.6180339887, 1.0);
        const auto pause = static_cast<long>(static_cast<double>(intervalMs) * (0.8 + 0.4 * fraction)) - 40;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0L, pause)));
    }
    XCloseDisplay(display);
    return 0;
}
