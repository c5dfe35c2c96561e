// Render cost of reading a capture ring per 512-frame block: through the drift-controlled reader
// (windowed-sinc interpolation, ratio steering) against a plain copy out of the same ring, measured
// in this same run. The producer runs 0.3 % fast in 10 ms fragments, as a capture on another clock.
//
// Run: build/bench/quelmo_capture_read_bench  (add --benchmark_min_time=2 for steadier figures)

#include "engine/dsp/DriftResampler.h"
#include "engine/util/SampleRing.h"

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

using namespace quelmo::engine;

namespace {

constexpr std::uint32_t blockFrames = 512;
constexpr std::size_t fragmentFrames = 441;
constexpr double blockSeconds = blockFrames / 44100.0;

// A sine captured on a clock 0.3 % fast, delivered in whole fragments as they fall due.
struct Capture {
    SampleRing ring{44100};
    std::vector<float> left = std::vector<float>(fragmentFrames);
    std::vector<float> right = std::vector<float>(fragmentFrames);
    double due = 0.0;
    double written = 0.0;

    Capture() {
        for (std::size_t i = 0; i < fragmentFrames; ++i) {
            left[i] = right[i] = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / 44100.0));
        }
    }
    void advance(double speed) {
        due += blockFrames * speed;
        while (written + fragmentFrames <= due) {
            ring.write(left.data(), right.data(), fragmentFrames);
            written += fragmentFrames;
        }
    }
};

void driftReader(benchmark::State& state) {
    Capture capture;
    DriftResampler reader;
    std::vector<float> left(blockFrames), right(blockFrames);
    for (int i = 0; i < 2000; ++i) { // past priming, near the settled ratio
        capture.advance(1.003);
        reader.process(capture.ring, left.data(), right.data(), blockFrames);
    }
    for (auto _ : state) {
        capture.advance(1.003);
        reader.process(capture.ring, left.data(), right.data(), blockFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
    state.counters["ratio"] = reader.ratio();
}

void plainRead(benchmark::State& state) {
    Capture capture;
    std::vector<float> left(blockFrames), right(blockFrames);
    for (int i = 0; i < 4; ++i) {
        capture.advance(1.0);
    }
    for (auto _ : state) {
        capture.advance(1.0);
        capture.ring.read(left.data(), right.data(), blockFrames);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
}

// The ratios between the runs above, printed after them.
void printSummary(const quelmo::bench::RatioReporter& r) {
    const double drift = r.secondsOf("drift reader");
    const double plain = r.secondsOf("plain ring read");
    if (drift > 0 && plain > 0) {
        std::printf("\ndrift reader / plain ring read:   %.1fx\n", drift / plain);
        std::printf("drift reader real-time factor:    %.0fx\n", blockSeconds / drift);
        std::printf("plain ring read real-time factor: %.0fx\n", blockSeconds / plain);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("drift reader", driftReader)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("plain ring read", plainRead)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    quelmo::bench::RatioReporter reporter(printSummary);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
