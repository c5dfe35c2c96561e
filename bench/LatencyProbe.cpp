// The yardstick for click-to-sound latency: a bare PulseAudio client that plays a short 5 kHz burst
// the moment the X server reports a mouse button press anywhere (XInput2 raw events on the root
// window), on a stream with a 256-frame buffer. Recorded beside Quelmo's answer to the same click,
// it measures what Quelmo adds over the floor of this audio path. Runs until killed.
// Usage: quelmo_latency_probe   (DISPLAY and PULSE_SERVER as for the application)

#include "engine/devices/PulseOutputDriver.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {
std::atomic<bool> pressed{false};
} // namespace

int main() {
    Display* display = XOpenDisplay(nullptr);
    int opcode = 0, firstEvent = 0, firstError = 0;
    if (!display || !XQueryExtension(display, "XInputExtension", &opcode, &firstEvent, &firstError)) {
        std::fprintf(stderr, "no X display with XInput\n");
        return 1;
    }
    unsigned char maskBits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(maskBits, XI_RawButtonPress);
    XIEventMask mask{XIAllMasterDevices, sizeof(maskBits), maskBits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XFlush(display);

    quelmo::engine::PulseOutputDriver output(256.0 / 44100.0);
    int burstLeft = 0;
    double phase = 0.0;
    auto error = output.start([&](float* const* channels, std::uint32_t frames) {
        if (pressed.exchange(false)) {
            burstLeft = 220; // 5 ms
        }
        for (std::uint32_t i = 0; i < frames; ++i) {
            float s = 0.0f;
            if (burstLeft > 0) {
                s = 0.5f * static_cast<float>(std::sin(phase));
                phase += 2.0 * std::numbers::pi * 5000.0 / 44100.0;
                --burstLeft;
            }
            channels[0][i] = s;
            channels[1][i] = s;
        }
    });
    if (error) {
        std::fprintf(stderr, "no sound server: %s\n", error->c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) { // until killed
        XEvent e;
        XNextEvent(display, &e);
        if (e.xcookie.type == GenericEvent && e.xcookie.extension == opcode && XGetEventData(display, &e.xcookie)) {
            if (e.xcookie.evtype == XI_RawButtonPress) {
                pressed = true;
            }
            XFreeEventData(display, &e.xcookie);
        }
    }
}
