// What REC costs: the engine renders a busy stereo set in 512-frame blocks paced in real time, as a
// sound server would ask for them, for stretches without recording (the baseline) and with FLAC and
// WAV recording, interleaved, in the same run. Reports the extra CPU as a share of one core and the
// blocks that missed their deadline (an output gap) in each stretch.
// Usage: quelmo_set_recording_bench [SECONDS_PER_STRETCH] [FOLDER]   (defaults: 10, /tmp)

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/record/SetRecorder.h"

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace quelmo::engine;

namespace {

constexpr std::uint32_t blockFrames = 512;
constexpr double rate = 44100.0;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// A tone over noise through the reverb: FLAC's hardest kind of material, and a graph with some work in it.
struct Set {
    OfflineDriver* driver = nullptr;
    std::unique_ptr<AudioEngine> engine;
    std::shared_ptr<PlayerNode> player = std::make_shared<PlayerNode>();
    std::shared_ptr<AudioBuffer> phrase;

    Set() {
        auto offline = std::make_unique<OfflineDriver>();
        driver = offline.get();
        engine = std::make_unique<AudioEngine>(std::move(offline));
        engine->start();
        auto reverb = std::make_shared<ReverbUnit>();
        reverb->setWetDryMix(30.0f);
        engine->attach(player);
        engine->attach(reverb);
        engine->connect(player, reverb);
        engine->connect(reverb, engine->mainMixer());
        phrase = AudioBuffer::create(*AudioFormat::standard(rate, 2), 44100);
        phrase->setFrameLength(44100);
        std::uint32_t noise = 1;
        for (std::uint32_t c = 0; c < 2; ++c) {
            for (std::uint32_t i = 0; i < 44100; ++i) {
                noise = noise * 1664525u + 1013904223u;
                phrase->channel(c)[i] = 0.5f * static_cast<float>(std::sin(i * 0.0627 * (c + 1))) +
                                        0.2f * (static_cast<float>(noise >> 8) / 16777216.0f - 0.5f);
            }
        }
        player->play();
    }
};

struct Stretch {
    double cpu = 0.0;
    double wall = 0.0;
    int late = 0;
    int blocks = 0;
    std::int64_t dropped = 0;
};

// Renders for `seconds` in real time, block by block against absolute deadlines.
Stretch run(Set& set, double seconds, const std::shared_ptr<SetRecorder>& recorder) {
    std::vector<float> left(blockFrames), right(blockFrames);
    float* channels[2] = {left.data(), right.data()};
    const auto blockNs = static_cast<std::int64_t>(1e9 * blockFrames / rate);
    const auto blocks = static_cast<int>(seconds * rate / blockFrames);
    set.engine->setOutputRecorder(recorder);
    Stretch s;
    const double cpu0 = cpuSeconds();
    const std::int64_t t0 = nowNs();
    for (int b = 0; b < blocks; ++b) {
        if (b % 80 == 0) {
            set.player->scheduleBuffer(set.phrase); // the main thread's share, as the deck's timers do
            set.engine->dispatchEvents();
        }
        const std::int64_t due = t0 + (b + 1) * blockNs;
        set.driver->renderBlock(channels, blockFrames);
        if (nowNs() > due) {
            ++s.late;
        }
        const timespec until{static_cast<time_t>(due / 1'000'000'000),
                             static_cast<long>(due % 1'000'000'000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
    set.engine->setOutputRecorder(nullptr);
    set.engine->dispatchEvents();
    s.cpu = cpuSeconds() - cpu0;
    s.wall = static_cast<double>(nowNs() - t0) / 1e9;
    s.blocks = blocks;
    if (recorder) {
        recorder->stop();
        s.dropped = recorder->droppedFrames();
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const std::filesystem::path folder = argc > 2 ? argv[2] : "/tmp";
    Set set;

    Stretch base, flac, wav;
    const auto add = [](Stretch& total, const Stretch& s) {
        total.cpu += s.cpu;
        total.wall += s.wall;
        total.late += s.late;
        total.blocks += s.blocks;
        total.dropped += s.dropped;
    };
    // Interleaved so that whatever else the machine does falls on all three alike.
    for (int round = 0; round < 2; ++round) {
        add(base, run(set, seconds, nullptr));
        for (const auto format : {SetRecorder::Format::flac, SetRecorder::Format::wav}) {
            const auto path = folder / ("quelmo-rec-bench-" + std::to_string(::getpid()) +
                                        (format == SetRecorder::Format::flac ? ".flac" : ".wav"));
            auto recorder = std::make_shared<SetRecorder>();
            if (auto error = recorder->start(path.string(), format)) {
                std::fprintf(stderr, "cannot record: %s\n", error->c_str());
                return 1;
            }
            add(format == SetRecorder::Format::flac ? flac : wav, run(set, seconds, recorder));
            std::filesystem::remove(path);
        }
    }

    const double baseShare = base.cpu / base.wall;
    const auto report = [&](const char* name, const Stretch& s) {
        const double extra = 100.0 * (s.cpu / s.wall - baseShare);
        std::printf(
            "%-14s cpu %5.2f %% of a core   recording costs %5.2f %% of a core   late blocks %d of %d   "
            "dropped frames %lld\n",
            name, 100.0 * s.cpu / s.wall, extra, s.late, s.blocks, static_cast<long long>(s.dropped));
        return extra;
    };
    std::printf("%-14s cpu %5.2f %% of a core   late blocks %d of %d\n", "no recording", 100.0 * baseShare,
                base.late, base.blocks);
    const double flacCost = report("FLAC 24-bit", flac);
    report("WAV float", wav);
    std::printf("FLAC recording: %s (target under 3 %% of a core, no late blocks beyond the baseline's)\n",
                flacCost < 3.0 && flac.late <= base.late && flac.dropped == 0 ? "within target"
                                                                              : "OVER target");
    return 0;
}
