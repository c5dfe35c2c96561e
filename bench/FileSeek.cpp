// Seeks to random places in a ten-minute MP3 (stereo, 44.1 kHz, 192 kbit/s, made with ffmpeg), each
// followed by a read of 4096 frames, through the seek index against the old way of decoding from the
// start (forward seeks decode on), as ratios measured in this same run.
//
//   index               one open file, seeking anywhere
//   from the start      the same file with its index turned off
//   copy, index         a duplicate() per seek, as a player's stream starts from a seek bar
//
// Then what the index costs: the ten-minute file's and a two-hour file's (the ten minutes twelve
// times over, joined without re-encoding), and how long open() takes to count and index each.
//
// Measured with points every 0.25, 1 and 4 s: 0.31, 0.99 and 3.4 ms a seek, for 1.1 MB, 283 KB and
// 72 KB of index over two hours; the index keeps a point a second.
//
// Run: build/bench/quelmo_file_seek_bench  (needs ffmpeg on PATH)

#include "FfmpegTool.h"
#include "RatioReporter.h"
#include "engine/AudioBuffer.h"
#include "engine/file/AudioFile.h"
#include "engine/file/AudioFileTesting.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace quelmo::engine;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t readFrames = 4096;

fs::path tenMinutes;

// Random targets over the whole file, the same series for every run.
std::vector<std::int64_t> targets(std::int64_t length) {
    std::mt19937_64 random(42);
    std::uniform_int_distribution<std::int64_t> anywhere(0, length - readFrames);
    std::vector<std::int64_t> list(256);
    for (auto& target : list) {
        target = anywhere(random);
    }
    return list;
}

void seekAndRead(benchmark::State& state, AudioFile& file, std::int64_t target, AudioBuffer& buffer) {
    std::string error;
    if (!file.seek(target, &error) || file.read(buffer, readFrames, &error) != readFrames) {
        state.SkipWithError(error.c_str());
    }
    benchmark::DoNotOptimize(buffer.channel(0).data());
}

void seeks(benchmark::State& state, bool index) {
    std::string error;
    auto file = AudioFile::open(tenMinutes.string(), &error);
    if (!file) {
        state.SkipWithError(error.c_str());
        return;
    }
    AudioFileTesting::useSeekIndex(*file, index);
    auto buffer = AudioBuffer::create(file->processingFormat(), readFrames);
    const auto list = targets(file->length());
    std::size_t next = 0;
    for (auto _ : state) {
        seekAndRead(state, *file, list[next++ % list.size()], *buffer);
    }
}

void copySeeks(benchmark::State& state) {
    std::string error;
    auto file = AudioFile::open(tenMinutes.string(), &error);
    if (!file) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto buffer = AudioBuffer::create(file->processingFormat(), readFrames);
    const auto list = targets(file->length());
    std::size_t next = 0;
    for (auto _ : state) {
        auto copy = file->duplicate(&error);
        if (!copy) {
            state.SkipWithError(error.c_str());
            break;
        }
        seekAndRead(state, *copy, list[next++ % list.size()], *buffer);
    }
}

// Bytes of the seek index of `path` once open() has counted it, and how long that took.
std::pair<std::size_t, double> indexOf(const fs::path& path) {
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    auto file = AudioFile::open(path.string(), &error);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!file) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), error.c_str());
        return {0, 0.0};
    }
    return {AudioFileTesting::seekIndexBytes(*file), took.count()};
}

void printSummary(const quelmo::bench::RatioReporter& r, const fs::path& twoHours) {
    const double index = r.secondsOf("index");
    const double fromStart = r.secondsOf("from the start");
    const double copy = r.secondsOf("copy, index");
    std::printf("\n");
    if (index > 0) {
        std::printf("seek + read, index:           %8.2f ms\n", index * 1e3);
    }
    if (index > 0 && fromStart > 0) {
        std::printf("seek + read, from the start:  %8.2f ms\n", fromStart * 1e3);
        std::printf("from the start / index:       %8.1fx\n", fromStart / index);
    }
    if (copy > 0) {
        std::printf("duplicate + seek + read:      %8.2f ms\n", copy * 1e3);
    }
    const auto [tenBytes, tenSeconds] = indexOf(tenMinutes);
    std::printf("open() of ten minutes:        %8.2f s, index %zu bytes\n", tenSeconds, tenBytes);
    if (!twoHours.empty()) {
        const auto [bytes, seconds] = indexOf(twoHours);
        std::printf("open() of two hours:          %8.2f s, index %zu bytes\n", seconds, bytes);
    }
}

} // namespace

int main(int argc, char** argv) {
    const fs::path program = quelmo::test::ffmpegProgram();
    if (program.empty()) {
        std::fprintf(stderr, "ffmpeg is not on PATH; it makes the file\n");
        return 1;
    }
    std::string pattern = (fs::temp_directory_path() / "quelmo-seek-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return 1;
    }
    const fs::path dir = pattern;
    tenMinutes = dir / "ten-minutes.mp3";
    const fs::path twoHours = dir / "two-hours.mp3";
    if (!quelmo::test::runFfmpeg(program,
                                 {"-f", "lavfi", "-i", "sine=frequency=440:duration=600", "-ac", "2", "-ar",
                                  "44100", "-c:a", "libmp3lame", "-b:a", "192k"},
                                 tenMinutes)) {
        std::fprintf(stderr, "ffmpeg could not make the file\n");
        return 1;
    }
    {
        std::ofstream list(dir / "list.txt");
        for (int i = 0; i < 12; ++i) {
            list << "file '" << tenMinutes.string() << "'\n";
        }
    }
    const bool joined = quelmo::test::runFfmpeg(
        program, {"-f", "concat", "-safe", "0", "-i", (dir / "list.txt").string(), "-c", "copy"}, twoHours);

    benchmark::RegisterBenchmark("index", seeks, true)->Unit(benchmark::kMillisecond);
    // Each of these decodes on average a third of the file: enough of them for a steady mean.
    benchmark::RegisterBenchmark("from the start", seeks, false)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(40);
    benchmark::RegisterBenchmark("copy, index", copySeeks)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    quelmo::bench::RatioReporter reporter(
        [&](const quelmo::bench::RatioReporter& r) { printSummary(r, joined ? twoHours : fs::path()); });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
