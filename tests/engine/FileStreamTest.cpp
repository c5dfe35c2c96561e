#include "EngineTestSupport.h"
#include "engine/file/AudioFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace quelmo::engine;
using namespace quelmo::engine::test;
namespace fs = std::filesystem;

namespace {

// A 32-bit float WAV whose sample i on every channel is value(i).
fs::path writeWav(const fs::path& path, std::uint32_t frames, std::uint16_t channels, std::uint32_t rate,
                  const std::function<float(std::uint32_t)>& value) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const std::uint32_t bytes = frames * channels * 4;
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(3);
    u16(channels);
    u32(rate);
    u32(rate * channels * 4);
    u16(static_cast<std::uint16_t>(channels * 4));
    u16(32);
    out.write("data", 4);
    u32(bytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float v = value(i);
        for (std::uint16_t c = 0; c < channels; ++c) {
            out.write(reinterpret_cast<const char*>(&v), 4);
        }
    }
    return path;
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("quelmo-stream-" + std::to_string(::getpid()) + "-" +
                                                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

float ramp(std::uint32_t i) { return static_cast<float>(i % 10007) / 10007.0f; }

// Renders faster than real time, but leaves the decode worker time to stay ahead.
std::vector<float> renderPaced(OfflineEngine& rig, std::uint32_t frames) {
    std::vector<float> left;
    while (left.size() < frames) {
        const auto block = rig.render(1024, 1024);
        left.insert(left.end(), block->channel(0).begin(), block->channel(0).end());
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    left.resize(frames);
    return left;
}

} // namespace

TEST(FileStream, ASegmentPlaysExactlyItsFramesBitForBit) {
    TempDir dir;
    std::string error;
    const auto file = AudioFile::open(writeWav(dir.path / "ramp.wav", 20000, 2, 44100, ramp), &error);
    ASSERT_TRUE(file) << error;
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    std::vector<PlaybackEnd> ends;
    ASSERT_TRUE(player->scheduleSegment(*file, 1000, 5000, std::nullopt, [&](PlaybackEnd e) { ends.push_back(e); },
                                        &error))
        << error;
    player->play();
    const auto out = rig.render(6000, 256);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        ASSERT_EQ(out->channel(0)[i], ramp(1000 + i)) << i;
        ASSERT_EQ(out->channel(1)[i], ramp(1000 + i)) << i;
    }
    EXPECT_EQ(out->channel(0)[5000], 0.0f);
    EXPECT_EQ(ends, std::vector<PlaybackEnd>{PlaybackEnd::playedToEnd});
}

TEST(FileStream, LongFilesStreamWithoutGapsWhileTheWorkerDecodesAhead) {
    TempDir dir;
    std::string error;
    constexpr std::uint32_t frames = 44100 * 8;
    const auto file = AudioFile::open(writeWav(dir.path / "long.wav", frames, 2, 44100, ramp), &error);
    ASSERT_TRUE(file) << error;
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    ASSERT_TRUE(player->scheduleFile(*file));
    player->play();
    const auto left = renderPaced(rig, frames + 1024);
    for (std::uint32_t i = 0; i < frames; ++i) {
        ASSERT_EQ(left[i], ramp(i)) << i;
    }
    EXPECT_EQ(player->pendingItemCount(), 0u);
}

TEST(FileStream, OtherRatesAndMonoAreConvertedToTheGraphFormat) {
    // Mono reaching both channels at unity is the converter's own test; here: the rate.
    TempDir dir;
    std::string error;
    const auto path = writeWav(dir.path / "tone48k.wav", 48000, 1, 48000, [](std::uint32_t i) {
        return 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * i / 48000.0));
    });
    const auto file = AudioFile::open(path, &error);
    ASSERT_TRUE(file) << error;
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    ASSERT_TRUE(player->scheduleFile(*file));
    player->play();
    const auto left = renderPaced(rig, 50000);
    std::uint32_t last = 0;
    for (std::uint32_t i = 0; i < 50000; ++i) {
        if (std::abs(left[i]) > 1e-3f) {
            last = i;
        }
    }
    EXPECT_NEAR(static_cast<double>(last), 44100.0, 30.0) << "one second at the graph's rate";
    EXPECT_NEAR(dominantFrequency(left.data() + 10000, 20000, 400.0, 480.0, 1.0), 440.0, 2.0);
    EXPECT_NEAR(magnitudeAt(left.data() + 10000, 20000, 440.0), 0.5, 0.02);
}

TEST(FileStream, AFileThatIsGoneIsRefusedWithAReason) {
    TempDir dir;
    std::string error;
    const auto path = writeWav(dir.path / "gone.wav", 1000, 2, 44100, ramp);
    const auto file = AudioFile::open(path, &error);
    ASSERT_TRUE(file) << error;
    fs::remove(path);
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    EXPECT_FALSE(player->scheduleFile(*file, std::nullopt, {}, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_EQ(player->pendingItemCount(), 0u);
}
