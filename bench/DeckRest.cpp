// How soon the deck rests after its last sound, and whether its output holds steady while the
// time-pitch unit works, on the real sound-server output. For two rack settings (the defaults, and
// SPEED 1.50x with PITCH +6st):
//   rest      seconds from the last audible block the deck rendered to its corked stream, after
//             one Kick hit (the promise: two seconds, whatever the rack's settings)
//   gaps      times the server ran dry while the Kick plays twice a second for the given seconds,
//             and the output latency asked for at the end
//   wake      the output latency asked for once the deck has rested and woken again
// Usage: quelmo_rest_bench [SECONDS]   (PULSE_SERVER as for the application)

#include "BenchSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "mix/MixController.h"
#include "graph/RestGate.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using quelmo::bench::spin;
using quelmo::bench::waitUntil;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

struct Setting {
    const char* name;
    double rate;
    double pitch; // the PITCH control's -1..1
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int playSeconds = argc > 1 ? std::atoi(argv[1]) : 35;

    quelmo::QuelmoViewModel deck;
    deck.prepareAudioEngineIfNeeded();
    auto& engine = deck.audioEngine();
    if (!engine.isRunning()) {
        std::fprintf(stderr, "no sound server: set PULSE_SERVER\n");
        return 1;
    }
    // The render thread notes when it last rendered anything audible.
    auto lastAudible = std::make_shared<std::atomic<Clock::rep>>(0);
    deck.mainMixerNode()->installTap([lastAudible](const float* const* channels, std::uint32_t frames, std::int64_t) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            if (std::fabs(channels[0][i]) >= quelmo::engine::RestGate::audibleFloor ||
                std::fabs(channels[1][i]) >= quelmo::engine::RestGate::audibleFloor) {
                lastAudible->store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
                return;
            }
        }
    });
    const auto lastSound = [&] { return Clock::time_point(Clock::duration(lastAudible->load())); };

    for (const Setting& setting : {Setting{"defaults", 1.0, 0.0}, Setting{"speed 1.50x, pitch +6st", 1.5, 0.25}}) {
        deck.mix()->setImportRate(setting.rate);
        deck.mix()->setPitchShift(setting.pitch);
        spin(200); // the mix applies after its debounce
        if (!waitUntil([&] { return engine.isSuspended(); }, 30000)) {
            std::printf("%-24s never rested before the hit\n", setting.name);
            continue;
        }

        deck.triggerPad(0, false);
        if (!waitUntil([&] { return engine.isSuspended(); }, 60000)) {
            std::printf("%-24s rest: none within a minute of the hit\n", setting.name);
            continue;
        }
        const double rest = secondsSince(lastSound(), Clock::now());

        const auto dryBefore = engine.driver().underflows();
        QTimer hits;
        QObject::connect(&hits, &QTimer::timeout, [&] { deck.triggerPad(0, false); });
        hits.start(500);
        spin(playSeconds * 1000);
        hits.stop();
        const auto gaps = engine.driver().underflows() - dryBefore;
        const double playingLatency = engine.driver().latencySeconds();

        waitUntil([&] { return engine.isSuspended(); }, 60000);
        deck.triggerPad(0, false);
        spin(300);
        std::printf("%-24s rest %.2f s after the last sound; %llu gaps in %d s of hits (latency %.0f ms), "
                    "%.0f ms after a rest\n",
                    setting.name, rest, static_cast<unsigned long long>(gaps), playSeconds, playingLatency * 1000.0,
                    engine.driver().latencySeconds() * 1000.0);
    }
    deck.shutdown();
    return 0;
}
