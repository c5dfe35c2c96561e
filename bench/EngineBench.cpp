// Render cost of the deck's graph per 512-frame block, as real-time factors and as ratios against
// Rubber Band's own processing of the same stream, measured in this same run.
//
//   full graph        eight retriggered pads, metronome, a time-pitched import (rate 1.25, +300 cents),
//                     every rack unit active, the voice chain at its defaults
//   graph, no stretch the same with the time-pitch unit bypassed (rate 1, pitch 0)
//   rubber band alone one stereo real-time stretcher with the same settings and block size
//
// Run: build/bench/quelmo_engine_bench  (add --benchmark_min_time=2 for steadier figures)

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>
#include <rubberband/RubberBandStretcher.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using namespace quelmo::engine;

namespace {

constexpr std::uint32_t blockFrames = 512;
constexpr double blockSeconds = blockFrames / 44100.0;

std::shared_ptr<AudioBuffer> tone(double hz, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * 44100.0);
    auto buffer = AudioBuffer::create(*AudioFormat::standard(44100.0, 2), frames);
    buffer->setFrameLength(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto s = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * hz * i / 44100.0));
        buffer->channel(0)[i] = s;
        buffer->channel(1)[i] = s;
    }
    return buffer;
}

struct DeckGraph {
    OfflineDriver* driver;
    std::unique_ptr<AudioEngine> engine;
    std::vector<std::shared_ptr<PlayerNode>> pads;
    std::shared_ptr<PlayerNode> metronome = std::make_shared<PlayerNode>();
    std::shared_ptr<PlayerNode> import = std::make_shared<PlayerNode>();
    std::shared_ptr<TimePitchUnit> importTimePitch = std::make_shared<TimePitchUnit>();
    std::shared_ptr<PlayerNode> voice = std::make_shared<PlayerNode>();
    std::shared_ptr<AudioBuffer> hit = tone(120.0, 0.2);
    std::shared_ptr<AudioBuffer> tick = tone(1200.0, 0.03);
    std::shared_ptr<AudioBuffer> loop = tone(330.0, 2.0);
    std::shared_ptr<AudioBuffer> speech = tone(180.0, 1.5);
    std::vector<float> left = std::vector<float>(blockFrames);
    std::vector<float> right = std::vector<float>(blockFrames);
    std::uint64_t block = 0;

    explicit DeckGraph(bool stretch) {
        auto offline = std::make_unique<OfflineDriver>();
        driver = offline.get();
        engine = std::make_unique<AudioEngine>(std::move(offline));
        auto& e = *engine;
        auto attach = [&](const std::shared_ptr<AudioNode>& node) { e.attach(node); };
        auto chain = [&](std::initializer_list<std::shared_ptr<AudioNode>> nodes) {
            std::shared_ptr<AudioNode> previous;
            for (const auto& node : nodes) {
                if (!e.isAttached(node.get())) {
                    attach(node);
                }
                if (previous) {
                    e.connect(previous, node);
                }
                previous = node;
            }
        };
        auto padsMixer = std::make_shared<MixerNode>();
        auto importMixer = std::make_shared<MixerNode>();
        auto preEffects = std::make_shared<MixerNode>();
        auto filter = std::make_shared<EQUnit>(1);
        filter->band(0).setFilterType(FilterType::lowPass);
        filter->band(0).setFrequency(6000.0f);
        filter->band(0).setBypass(false);
        auto delay = std::make_shared<DelayUnit>();
        delay->setDelayTime(0.3f);
        delay->setFeedback(40.0f);
        delay->setWetDryMix(25.0f);
        auto reverb = std::make_shared<ReverbUnit>();
        reverb->loadFactoryPreset(4);
        reverb->setWetDryMix(30.0f);
        auto distortion = std::make_shared<DistortionUnit>();
        distortion->setPreGain(-6.0f);
        distortion->setWetDryMix(20.0f);
        auto masterTone = std::make_shared<EQUnit>(3);
        const FilterType toneTypes[] = {FilterType::lowShelf, FilterType::parametric, FilterType::highShelf};
        const float toneHz[] = {120.0f, 2600.0f, 9000.0f};
        for (std::size_t b = 0; b < 3; ++b) {
            masterTone->band(b).setFilterType(toneTypes[b]);
            masterTone->band(b).setFrequency(toneHz[b]);
            masterTone->band(b).setBandwidth(1.0f);
            masterTone->band(b).setGain(3.0f);
            masterTone->band(b).setBypass(false);
        }
        auto effectsMixer = std::make_shared<MixerNode>();
        auto voicePitch = std::make_shared<TimePitchUnit>();
        auto voiceTone = std::make_shared<EQUnit>(3);
        auto voiceDrive = std::make_shared<DistortionUnit>();
        voiceDrive->loadFactoryPreset(DistortionUnit::multiBrokenSpeaker);
        voiceDrive->setWetDryMix(0.0f);
        auto voiceBus = std::make_shared<MixerNode>();

        attach(padsMixer);
        for (int i = 0; i < 8; ++i) {
            pads.push_back(std::make_shared<PlayerNode>());
            attach(pads.back());
            e.connect(pads.back(), padsMixer);
            pads.back()->play();
        }
        chain({padsMixer, preEffects});
        chain({import, importTimePitch, importMixer, preEffects});
        chain({preEffects, filter, delay, reverb, distortion, masterTone, effectsMixer, e.mainMixer()});
        chain({metronome, e.mainMixer()});
        chain({voice, voicePitch, voiceTone, voiceDrive, voiceBus, e.mainMixer()});
        if (stretch) {
            importTimePitch->setRate(1.25f);
            importTimePitch->setPitch(300.0f);
        }
        import->play();
        metronome->play();
        voice->play();
        e.start();
    }

    void renderBlock() {
        // About what a busy performance asks for: a pad hit every block, a tick every beat, the
        // import and the voice kept queued. Each pad is booked every eighth block, as the sequencer
        // books a step: a hit that cannot begin within its step is dropped, so the queues keep their
        // length however long the run.
        const std::int64_t now = engine->sampleTime();
        pads[block % 8]->scheduleBuffer(hit, now, {}, 0, now + 8 * blockFrames);
        if (block % 40 == 0) {
            metronome->scheduleBuffer(tick);
        }
        if (import->pendingItemCount() < 2) {
            import->scheduleBuffer(loop);
        }
        if (voice->pendingItemCount() < 1) {
            voice->scheduleBuffer(speech);
        }
        engine->dispatchEvents();
        float* channels[2] = {left.data(), right.data()};
        driver->renderBlock(channels, blockFrames);
        ++block;
    }
};

void fullGraph(benchmark::State& state, bool stretch) {
    DeckGraph graph(stretch);
    for (int i = 0; i < 100; ++i) {
        graph.renderBlock();
    }
    for (auto _ : state) {
        graph.renderBlock();
        benchmark::DoNotOptimize(graph.left.data());
    }
    state.counters["realtime_factor"] =
        benchmark::Counter(blockSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void rubberBandAlone(benchmark::State& state) {
    using RB = RubberBand::RubberBandStretcher;
    RB::setDefaultDebugLevel(0);
    RB stretcher(44100, 2, RB::OptionProcessRealTime | RB::OptionThreadingNever | RB::OptionEngineFaster |
                               RB::OptionPitchHighConsistency,
                 1.0 / 1.25, std::pow(2.0, 300.0 / 1200.0));
    stretcher.setMaxProcessSize(8192);
    auto source = tone(330.0, 2.0);
    std::vector<float> outL(blockFrames), outR(blockFrames);
    std::size_t position = 0;
    auto produce = [&] {
        while (stretcher.available() < static_cast<int>(blockFrames)) {
            const std::size_t needed = std::max<std::size_t>(stretcher.getSamplesRequired(), 64);
            if (position + needed > source->frameLength()) {
                position = 0;
            }
            const float* in[2] = {source->channel(0).data() + position, source->channel(1).data() + position};
            stretcher.process(in, needed, false);
            position += needed;
        }
        float* out[2] = {outL.data(), outR.data()};
        stretcher.retrieve(out, blockFrames);
    };
    for (int i = 0; i < 100; ++i) {
        produce();
    }
    for (auto _ : state) {
        produce();
        benchmark::DoNotOptimize(outL.data());
    }
    state.counters["realtime_factor"] =
        benchmark::Counter(blockSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The ratios between the runs above, printed after them.
void printSummary(const quelmo::bench::RatioReporter& r) {
    const double graph = r.secondsOf("full graph");
    const double plain = r.secondsOf("graph, no stretch");
    const double rubberBand = r.secondsOf("rubber band alone");
    if (graph > 0 && rubberBand > 0) {
        std::printf("\nfull graph / rubber band alone:      %.3fx   (target: at most 1.15x)\n", graph / rubberBand);
        std::printf("full graph real-time factor:         %.1fx\n", blockSeconds / graph);
        std::printf("rubber band alone real-time factor:  %.1fx\n", blockSeconds / rubberBand);
    }
    if (plain > 0) {
        std::printf("graph without stretch, real time:    %.1fx   (target: at least 150x)\n", blockSeconds / plain);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("full graph", fullGraph, true)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("graph, no stretch", fullGraph, false)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rubber band alone", rubberBandAlone)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    quelmo::bench::RatioReporter reporter(printSummary);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
