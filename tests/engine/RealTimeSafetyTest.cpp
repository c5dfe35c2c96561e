// The render thread must not allocate or take a lock: a counting operator new and a counting
// pthread_mutex_lock (support/RenderThreadCounters), armed only around render calls, prove it for a
// busy graph in steady state and while the time-pitch unit is retuned. The counters replace the
// global allocation functions, so this is a test program of its own.

#include "EngineTestSupport.h"
#include "engine/dsp/DriftResampler.h"
#include "engine/record/SetRecorder.h"
#include "support/RenderThreadCounters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

using namespace quelmo::test;
using namespace quelmo::engine;
using namespace quelmo::engine::test;

namespace {

// A deck-sized graph: eight retriggered players, a time-pitched player, every rack unit active.
struct BusyGraph {
    OfflineEngine rig;
    std::vector<std::shared_ptr<PlayerNode>> pads;
    std::shared_ptr<PlayerNode> loop = std::make_shared<PlayerNode>();
    std::shared_ptr<TimePitchUnit> timePitch;
    std::shared_ptr<MixerNode> bus = std::make_shared<MixerNode>();
    std::shared_ptr<AudioBuffer> hit = sine(180.0, 0.05);
    std::shared_ptr<AudioBuffer> bar = sine(440.0, 1.0);

    explicit BusyGraph(TimePitchUnit::Use use = TimePitchUnit::Use::timeAndPitch)
        : timePitch(std::make_shared<TimePitchUnit>(TimePitchUnit::WarmUp::now, use)) {
        auto& e = *rig.engine;
        e.attach(bus);
        for (int i = 0; i < 8; ++i) {
            pads.push_back(std::make_shared<PlayerNode>());
            e.attach(pads.back());
            e.connect(pads.back(), bus);
            pads.back()->play();
        }
        e.attach(loop);
        e.attach(timePitch);
        e.connect(loop, timePitch);
        e.connect(timePitch, bus);
        timePitch->setRate(1.25f);
        timePitch->setPitch(300.0f);

        auto filter = std::make_shared<EQUnit>(1);
        filter->band(0).setFilterType(FilterType::lowPass);
        filter->band(0).setFrequency(3000.0f);
        filter->band(0).setBypass(false);
        auto delay = std::make_shared<DelayUnit>();
        delay->setWetDryMix(30.0f);
        auto reverb = std::make_shared<ReverbUnit>();
        reverb->setWetDryMix(30.0f);
        auto distortion = std::make_shared<DistortionUnit>();
        distortion->setWetDryMix(20.0f);
        auto tone = std::make_shared<EQUnit>(3);
        for (std::size_t b = 0; b < 3; ++b) {
            tone->band(b).setGain(3.0f);
            tone->band(b).setBypass(false);
        }
        chain(e, bus, {filter, delay, reverb, distortion, tone});
        for (int i = 0; i < 4; ++i) {
            loop->scheduleBuffer(bar);
        }
        loop->play();
    }
};

// Renders blocks of the graph and expects the render calls to allocate and lock nothing: before each
// one, betweenBlocks(block) does the main thread's work, which may allocate freely. The first blocks,
// which may size buffers a unit grows lazily, are not counted.
void renderExpectingNothingCounted(BusyGraph& graph, int blocks,
                                   const std::function<void(int)>& betweenBlocks) {
    std::vector<float> left(512), right(512);
    float* channels[2] = {left.data(), right.data()};
    for (int block = 0; block < 50; ++block) {
        graph.rig.driver->renderBlock(channels, 512);
    }
    resetCounters();
    for (int block = 0; block < blocks; ++block) {
        betweenBlocks(block);
        if (block % 40 == 0) {
            graph.loop->scheduleBuffer(graph.bar);
        }
        graph.rig.engine->dispatchEvents();
        countingHere = true;
        graph.rig.driver->renderBlock(channels, 512);
        countingHere = false;
    }
    EXPECT_EQ(allocationsWhileCounting.load(), 0u);
    EXPECT_EQ(locksWhileCounting.load(), 0u);
}

} // namespace

// Pads retriggered every block while the output is recorded into a ring smaller than a block: each
// block is partly copied and partly dropped, both paths counted.
TEST(RealTimeSafety, SteadyRenderingOfABusyGraphWhileRecordingDoesNotAllocateOrLock) {
    BusyGraph graph;
    ScratchDir dir;
    auto recorder = std::make_shared<SetRecorder>(nullptr, 300);
    ASSERT_EQ(recorder->start((dir.path / "set.flac").string(), SetRecorder::Format::flac), std::nullopt);
    graph.rig.engine->setOutputRecorder(recorder);
    renderExpectingNothingCounted(graph, 200, [&](int block) {
        graph.pads[static_cast<std::size_t>(block % 8)]->scheduleBuffer(graph.hit);
    });
    graph.rig.engine->setOutputRecorder(nullptr);
    recorder->stop();
    EXPECT_GT(recorder->capturedFrames(), 0);
    EXPECT_GT(recorder->droppedFrames(), 0);
}

TEST(RealTimeSafety, RetuningTheTimePitchUnitWhileRenderingDoesNotAllocateOrLock) {
    BusyGraph graph;
    // Sweep rate over 0.5..2 and pitch over -2400..2400 cents, a new pair every block, as a knob
    // dragged end to end does; then the same with both moving at once; now and then through the
    // bypass point.
    constexpr int steps = 400;
    renderExpectingNothingCounted(graph, 3 * steps, [&](int block) {
        const double t = static_cast<double>(block % steps) / (steps - 1);
        const int sweep = block / steps;
        const bool bypass = block % 100 == 50; // leaving bypass restarts the stretcher
        const double rate = sweep == 1 || bypass ? 1.0 : std::pow(2.0, -1.0 + 2.0 * t);
        const double cents = sweep == 0 || bypass ? 0.0 : -2400.0 + 4800.0 * t;
        graph.timePitch->setRate(static_cast<float>(rate));
        graph.timePitch->setPitch(static_cast<float>(cents));
    });
    // A synced track's stretcher, rate only, dragged end to end through its own tempo.
    BusyGraph synced(TimePitchUnit::Use::timeOnly);
    renderExpectingNothingCounted(synced, steps, [&](int block) {
        const double t = static_cast<double>(block) / (steps - 1);
        synced.timePitch->setRate(static_cast<float>(std::pow(2.0, -1.0 + 2.0 * t)));
    });
}

TEST(RealTimeSafety, MainThreadCommandsDuringRenderingOnAnotherThread) {
    // Run under ThreadSanitizer in CI: schedules, stops, parameter changes, taps and detaches on
    // this thread while another thread renders.
    BusyGraph graph;
    std::atomic<bool> running{true};
    std::thread renderThread([&] {
        std::vector<float> left(256), right(256);
        float* channels[2] = {left.data(), right.data()};
        while (running.load()) {
            graph.rig.driver->renderBlock(channels, 256);
        }
    });

    int scheduled = 0;
    int ended = 0;
    for (int round = 0; round < 400; ++round) {
        auto& pad = *graph.pads[static_cast<std::size_t>(round % 8)];
        pad.scheduleBuffer(graph.hit, std::nullopt, [&](PlaybackEnd) { ++ended; });
        ++scheduled;
        if (round % 7 == 0) {
            pad.stop();
            pad.play();
        }
        graph.bus->setVolume(0.5f + 0.5f * static_cast<float>(round % 2));
        graph.bus->setPan(round % 3 == 0 ? -0.5f : 0.5f);
        graph.timePitch->setPitch(static_cast<float>(round % 5) * 100.0f);
        if (round % 50 == 0) {
            graph.bus->installTap([](const float* const*, std::uint32_t, std::int64_t) {});
        }
        if (round == 200) {
            graph.rig.engine->detach(graph.pads[7]);
        }
        graph.rig.engine->dispatchEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    for (auto& pad : graph.pads) {
        pad->stop();
    }
    // Wait until the render thread has handed back every item.
    for (int i = 0; i < 2000 && ended < scheduled; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        graph.rig.engine->dispatchEvents();
    }
    running = false;
    renderThread.join();
    graph.rig.engine->dispatchEvents();
    graph.pads[7]->dispatchCompletions();
    EXPECT_EQ(ended, scheduled) << "every item ends exactly once";
}

TEST(RealTimeSafety, TheCaptureReaderDoesNotAllocateOrLockThroughPrimingDriftGapsAndDrops) {
    SampleRing ring(44100);
    DriftResampler reader;
    std::vector<float> fragment(441, 0.25f), left(512), right(512);
    double due = 0.0;
    std::size_t written = 0;
    resetCounters();
    for (int block = 0; block < 3000; ++block) {
        // 0.4 % fast, a stall of 300 ms at block 1000, a burst of 400 ms at block 2000.
        due += block >= 1000 && block < 1026 ? 0.0 : 512 * 1.004;
        if (block == 2000) {
            ring.write(std::vector<float>(17640).data(), std::vector<float>(17640).data(), 17640);
        }
        while (static_cast<double>(written + 441) <= due) {
            ring.write(fragment.data(), fragment.data(), 441);
            written += 441;
        }
        if (block >= 1000 && block < 1026) {
            written = static_cast<std::size_t>(due);
        }
        countingHere = true;
        reader.process(ring, left.data(), right.data(), 512);
        countingHere = false;
    }
    EXPECT_GT(reader.droppedFrames(), 0u);
    EXPECT_GT(reader.underruns(), 0u);
    EXPECT_EQ(allocationsWhileCounting.load(), 0u);
    EXPECT_EQ(locksWhileCounting.load(), 0u);
}
