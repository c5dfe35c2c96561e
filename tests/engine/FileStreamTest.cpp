#include "EngineTestSupport.h"
#include "support/WavFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quelmo::engine;
using namespace quelmo::engine::test;
namespace fs = std::filesystem;

namespace {

float ramp(std::uint32_t i) { return static_cast<float>(i % 10007) / 10007.0f; }

// A stereo 32-bit float WAV with the ramp on both channels.
std::string writeRamp(const fs::path& path, std::uint32_t frames) {
    std::vector<float> samples(2 * std::size_t{frames});
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = ramp(static_cast<std::uint32_t>(i / 2));
    }
    quelmo::test::writeWav(path, samples, 2, 44100, true);
    return path.string();
}

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
    ScratchDir dir;
    std::string error;
    const auto file = AudioFile::open(writeRamp(dir.path / "ramp.wav", 20000), &error);
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
    ScratchDir dir;
    std::string error;
    constexpr std::uint32_t frames = 44100 * 8;
    const auto file = AudioFile::open(writeRamp(dir.path / "long.wav", frames), &error);
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
    ScratchDir dir;
    std::vector<float> samples(48000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * i / 48000.0));
    }
    const fs::path path = dir.path / "tone48k.wav";
    quelmo::test::writeWav(path, samples, 1, 48000, true);
    std::string error;
    const auto file = AudioFile::open(path.string(), &error);
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
    EXPECT_NEAR(amplitudeAt(std::span(left).subspan(10000, 20000), 44100.0, 440.0), 0.5, 0.02);
}

TEST(FileStream, AFileThatIsGoneIsRefusedWithAReason) {
    ScratchDir dir;
    std::string error;
    const auto path = writeRamp(dir.path / "gone.wav", 1000);
    const auto file = AudioFile::open(path, &error);
    ASSERT_TRUE(file) << error;
    fs::remove(path);
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    EXPECT_FALSE(player->scheduleFile(*file, std::nullopt, {}, &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_EQ(player->pendingItemCount(), 0u);
}
