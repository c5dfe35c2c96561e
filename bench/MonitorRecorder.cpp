// Records a PulseAudio source (the test sink's monitor) and stamps every block on its arrival with
// CLOCK_MONOTONIC, so the time of any recorded sample is known on the same clock as an input event:
// a sample's time is the stamp of its block minus the frames that follow it in that block, over the
// rate. The stream asks for small fragments and no latency of its own (no PA_STREAM_ADJUST_LATENCY),
// so recording does not change the sink's latency. On SIGINT or SIGTERM it writes
//   PREFIX.f32     the samples, mono 32-bit float, native byte order
//   PREFIX.blocks  one line per block: "<frames recorded up to the block's end> <stamp ns> <latency us>",
//                  the latency being the one the server reports for the stream at that moment
//                  (negative for a monitor: its samples are not yet played by the sink's clock)
// Usage: quelmo_monitor_recorder SOURCE PREFIX [FRAGMENT_FRAMES]   (PULSE_SERVER as for the app)

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t rate = 44100;

struct Block {
    std::uint64_t framesEnd;
    std::int64_t stampNs;
    std::int64_t latencyUs;
};

struct Recorder {
    pa_mainloop_api* api = nullptr;
    pa_stream* stream = nullptr;
    std::string source;
    std::uint32_t fragmentFrames = 64;
    std::vector<float> samples;
    std::vector<Block> blocks;
    bool announced = false;
    int status = 0;
};

std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void onRead(pa_stream* stream, std::size_t, void* userdata) {
    const std::int64_t stamp = monotonicNs(); // first, before any work
    auto* r = static_cast<Recorder*>(userdata);
    // Everything readable now arrived by now: one block, whose last sample is at the stamp.
    bool any = false;
    for (;;) {
        const void* data = nullptr;
        std::size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            break;
        }
        const std::size_t frames = bytes / sizeof(float);
        if (data) {
            const auto* f = static_cast<const float*>(data);
            r->samples.insert(r->samples.end(), f, f + frames);
        } else {
            r->samples.insert(r->samples.end(), frames, 0.0f); // a hole
        }
        pa_stream_drop(stream);
        any = true;
    }
    if (!any) {
        return;
    }
    pa_usec_t latency = 0;
    int negative = 0;
    std::int64_t latencyUs = 0;
    if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
        latencyUs = negative ? -static_cast<std::int64_t>(latency) : static_cast<std::int64_t>(latency);
    }
    r->blocks.push_back({r->samples.size(), stamp, latencyUs});
    if (!r->announced) {
        r->announced = true;
        std::printf("ready\n");
        std::fflush(stdout);
    }
}

void onStreamState(pa_stream* stream, void* userdata) {
    auto* r = static_cast<Recorder*>(userdata);
    if (pa_stream_get_state(stream) == PA_STREAM_FAILED) {
        std::fprintf(stderr, "recording stream failed\n");
        r->status = 1;
        r->api->quit(r->api, 1);
    }
}

void onContextState(pa_context* context, void* userdata) {
    auto* r = static_cast<Recorder*>(userdata);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32NE, rate, 1};
        r->stream = pa_stream_new(context, "Quelmo bench monitor", &sampleFormat, nullptr);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<std::uint32_t>(-1);
        attr.fragsize = r->fragmentFrames * static_cast<std::uint32_t>(sizeof(float));
        pa_stream_set_state_callback(r->stream, onStreamState, r);
        pa_stream_set_read_callback(r->stream, onRead, r);
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(r->stream, r->source.c_str(), &attr, flags) < 0) {
            std::fprintf(stderr, "cannot record %s\n", r->source.c_str());
            r->status = 1;
            r->api->quit(r->api, 1);
        }
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        std::fprintf(stderr, "no sound server\n");
        r->status = 1;
        r->api->quit(r->api, 1);
        break;
    default:
        break;
    }
}

void onSignal(pa_mainloop_api* api, pa_signal_event*, int, void*) { api->quit(api, 0); }

bool writeFiles(const Recorder& r, const std::string& prefix) {
    FILE* samples = std::fopen((prefix + ".f32").c_str(), "wb");
    FILE* blocks = std::fopen((prefix + ".blocks").c_str(), "w");
    bool ok = samples && blocks;
    if (ok) {
        ok = std::fwrite(r.samples.data(), sizeof(float), r.samples.size(), samples) == r.samples.size();
        for (const Block& b : r.blocks) {
            std::fprintf(blocks, "%llu %lld %lld\n", static_cast<unsigned long long>(b.framesEnd),
                         static_cast<long long>(b.stampNs), static_cast<long long>(b.latencyUs));
        }
    }
    if (samples) {
        ok = std::fclose(samples) == 0 && ok;
    }
    if (blocks) {
        ok = std::fclose(blocks) == 0 && ok;
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SOURCE PREFIX [FRAGMENT_FRAMES]\n", argv[0]);
        return 2;
    }
    Recorder r;
    r.source = argv[1];
    if (argc > 3) {
        r.fragmentFrames = static_cast<std::uint32_t>(std::max(16L, std::strtol(argv[3], nullptr, 10)));
    }
    r.samples.reserve(static_cast<std::size_t>(rate) * 120); // two minutes before any reallocation
    r.blocks.reserve(200'000);

    pa_mainloop* loop = pa_mainloop_new();
    r.api = pa_mainloop_get_api(loop);
    pa_signal_init(r.api);
    pa_signal_new(SIGINT, onSignal, nullptr);
    pa_signal_new(SIGTERM, onSignal, nullptr);
    pa_context* context = pa_context_new(r.api, "Quelmo bench recorder");
    pa_context_set_state_callback(context, onContextState, &r);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        std::fprintf(stderr, "no sound server\n");
        return 1;
    }
    int loopStatus = 0;
    pa_mainloop_run(loop, &loopStatus);
    pa_context_set_state_callback(context, nullptr, nullptr);
    if (r.stream) {
        pa_stream_set_state_callback(r.stream, nullptr, nullptr);
        pa_stream_disconnect(r.stream);
        pa_stream_unref(r.stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_signal_done();
    pa_mainloop_free(loop);
    if (!writeFiles(r, argv[2])) {
        std::fprintf(stderr, "cannot write %s.*\n", argv[2]);
        return 1;
    }
    std::fprintf(stderr, "recorded %zu frames in %zu blocks\n", r.samples.size(), r.blocks.size());
    return r.status;
}
