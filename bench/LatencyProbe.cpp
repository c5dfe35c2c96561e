// The yardstick for click-to-sound latency: a bare PulseAudio client that plays a short 5 kHz burst
// the moment the X server reports a mouse button or key press anywhere (XInput2 raw events on the
// root window), on a stream with a 256-frame buffer. libpulse alone: the buffer stays at 256 frames
// whatever happens (each underflow is logged on stderr instead). Runs until killed.
// Usage: quelmo_latency_probe [BUFFER_FRAMES]   (DISPLAY and PULSE_SERVER as for the application)

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <pulse/pulseaudio.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace {

constexpr std::uint32_t rate = 44100;

struct Probe {
    std::atomic<bool> pressed{false};
    std::atomic<bool> ready{false};
    std::atomic<bool> failed{false};
    int burstLeft = 0;
    double phase = 0.0;
    std::uint64_t underflows = 0;
};

void onWrite(pa_stream* stream, std::size_t bytes, void* userdata) {
    auto* probe = static_cast<Probe*>(userdata);
    void* data = nullptr;
    if (pa_stream_begin_write(stream, &data, &bytes) < 0 || !data) {
        return;
    }
    if (probe->pressed.exchange(false)) {
        probe->burstLeft = 220; // 5 ms
    }
    auto* out = static_cast<float*>(data);
    const std::size_t frames = bytes / (2 * sizeof(float));
    for (std::size_t i = 0; i < frames; ++i) {
        float s = 0.0f;
        if (probe->burstLeft > 0) {
            s = 0.5f * static_cast<float>(std::sin(probe->phase));
            probe->phase += 2.0 * std::numbers::pi * 5000.0 / rate;
            --probe->burstLeft;
        }
        out[2 * i] = s;
        out[2 * i + 1] = s;
    }
    pa_stream_write(stream, data, frames * 2 * sizeof(float), nullptr, 0, PA_SEEK_RELATIVE);
}

void onUnderflow(pa_stream*, void* userdata) {
    auto* probe = static_cast<Probe*>(userdata);
    std::fprintf(stderr, "underflow %llu\n", static_cast<unsigned long long>(++probe->underflows));
}

void onStreamState(pa_stream* stream, void* userdata) {
    auto* probe = static_cast<Probe*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) {
        probe->ready = true;
    } else if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        probe->failed = true;
    }
}

struct StartContext {
    Probe* probe;
    std::uint32_t bufferFrames;
    pa_stream* stream = nullptr;
};

void onContextState(pa_context* context, void* userdata) {
    auto* start = static_cast<StartContext*>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, rate, 2};
        start->stream = pa_stream_new(context, "Quelmo latency probe", &sampleFormat, nullptr);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = start->bufferFrames * 2 * static_cast<std::uint32_t>(sizeof(float));
        attr.prebuf = static_cast<std::uint32_t>(-1);
        attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        pa_stream_set_state_callback(start->stream, onStreamState, start->probe);
        pa_stream_set_write_callback(start->stream, onWrite, start->probe);
        pa_stream_set_underflow_callback(start->stream, onUnderflow, start->probe);
        if (pa_stream_connect_playback(start->stream, nullptr, &attr, PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) <
            0) {
            start->probe->failed = true;
        }
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        start->probe->failed = true;
        break;
    default:
        break;
    }
}

} // namespace

int main(int argc, char** argv) {
    const auto bufferFrames = static_cast<std::uint32_t>(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256);
    Display* display = XOpenDisplay(nullptr);
    int opcode = 0, firstEvent = 0, firstError = 0;
    if (!display || !XQueryExtension(display, "XInputExtension", &opcode, &firstEvent, &firstError)) {
        std::fprintf(stderr, "no X display with XInput\n");
        return 1;
    }
    unsigned char maskBits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(maskBits, XI_RawButtonPress);
    XISetMask(maskBits, XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, sizeof(maskBits), maskBits};
    XISelectEvents(display, DefaultRootWindow(display), &mask, 1);
    XFlush(display);

    Probe probe;
    StartContext start{&probe, bufferFrames};
    pa_threaded_mainloop* loop = pa_threaded_mainloop_new();
    pa_context* context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Quelmo latency probe");
    pa_context_set_state_callback(context, onContextState, &start);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop) < 0) {
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }
    for (int i = 0; i < 1000 && !probe.ready && !probe.failed; ++i) {
        timespec pause{0, 10'000'000};
        nanosleep(&pause, nullptr);
    }
    if (!probe.ready) {
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) { // until killed
        XEvent e;
        XNextEvent(display, &e);
        if (e.xcookie.type == GenericEvent && e.xcookie.extension == opcode && XGetEventData(display, &e.xcookie)) {
            if (e.xcookie.evtype == XI_RawButtonPress || e.xcookie.evtype == XI_RawKeyPress) {
                probe.pressed = true;
            }
            XFreeEventData(display, &e.xcookie);
        }
    }
}
