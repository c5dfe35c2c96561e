#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"
#include "engine/AudioBuffer.h"
#include "engine/FfmpegTool.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/file/AudioFile.h"
#include "support/EventLoop.h"
#include "support/WavFile.h"
#include "tracks/WaveformAnalysis.h"
#include "tracks/WaveformOverview.h"
#include "shared/Log.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace quelmo;
namespace fs = std::filesystem;

namespace {

// The overview worked out over the whole of channel 0 at once, as the definition reads.
std::vector<float> wholeFileLevels(const std::vector<float>& s) {
    const std::size_t step = std::max<std::size_t>(1, s.size() / 200);
    std::vector<float> out;
    for (std::size_t start = 0; start < s.size(); start += step) {
        const std::size_t end = std::min(start + step, s.size());
        float sum = 0.0f;
        for (std::size_t i = start; i < end; ++i) {
            sum += s[i] * s[i];
        }
        out.push_back(std::min(std::sqrt(sum / static_cast<float>(end - start)) * 4.0f, 1.0f));
    }
    return out;
}

// Channel 0 of everything AudioFile::open() reads from `path`.
std::vector<float> decodeChannel0(const std::string& path) {
    std::string error;
    auto file = engine::AudioFile::open(path, &error);
    EXPECT_TRUE(file) << error;
    std::vector<float> out;
    if (!file) {
        return out;
    }
    auto buffer = engine::AudioBuffer::create(file->processingFormat(), 4096);
    while (file->read(*buffer, 4096, &error) > 0) {
        const auto samples = buffer->channel(0).first(buffer->frameLength());
        out.insert(out.end(), samples.begin(), samples.end());
    }
    EXPECT_EQ(static_cast<std::int64_t>(out.size()), file->length());
    return out;
}

// A 32-bit float WAV of interleaved `samples`, so the levels can be worked out from them exactly.
void writeWav(const fs::path& path, int channels, const std::vector<float>& samples) {
    test::writeWav(path, samples, static_cast<std::uint16_t>(channels), 44100, true);
}

class WaveformFiles : public testing::Test {
protected:
    fs::path file(const char* name) const { return fs::path(dir_.path().toStdString()) / name; }

    // Runs the ffmpeg command line quietly to write `output`; skips the test without ffmpeg.
    void ffmpeg(std::vector<std::string> args, const fs::path& output) {
        const fs::path program = test::ffmpegProgram();
        if (program.empty()) {
            GTEST_SKIP() << "ffmpeg is not on PATH; it makes the compressed test files";
        }
        ASSERT_TRUE(test::runFfmpeg(program, std::move(args), output)) << "ffmpeg could not make " << output;
    }

    QTemporaryDir dir_;
};

} // namespace

TEST(WaveformOverview, ChunkedAndSideBySideStepsGiveTheWholeFileLevelsBitForBit) {
    for (const std::size_t frames : {1u, 150u, 199u, 200u, 1099u, 44100u, 80399u}) {
        std::vector<float> s(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            s[i] = 0.3f * std::sin(0.01f * static_cast<float>(i)) * static_cast<float>(i % 7) / 7.0f;
        }
        const auto expected = wholeFileLevels(s);
        const std::int64_t step = WaveformOverview::stepFor(static_cast<std::int64_t>(frames));
        for (const std::size_t chunk : {1u, 7u, 4096u, 100000u}) {
            // The right step alone, and among 16 with it anywhere in the range.
            for (const std::int64_t below : {0, 7, 15}) {
                WaveformOverview overview(step - below, step - below + 15);
                if (below == 0) {
                    overview = WaveformOverview(step);
                }
                for (std::size_t i = 0; i < frames; i += chunk) {
                    overview.add(std::span<const float>(s).subspan(i, std::min(chunk, frames - i)));
                }
                ASSERT_TRUE(overview.fitsFrameCount()) << frames << " frames";
                EXPECT_EQ(overview.levels(), expected) << frames << " frames in chunks of " << chunk;
            }
        }
    }
}

TEST(WaveformOverview, StepsThatMissTheCountGiveNoLevels) {
    const std::vector<float> s(44100, 0.1f); // step 220
    WaveformOverview tooSmall(200, 215);
    tooSmall.add(s);
    EXPECT_FALSE(tooSmall.fitsFrameCount());
    EXPECT_TRUE(tooSmall.levels().empty());
    WaveformOverview tooLarge(221);
    tooLarge.add(s);
    EXPECT_FALSE(tooLarge.fitsFrameCount());
    // A step far too small stops at 400 levels and still counts the frames.
    WaveformOverview tiny(1);
    tiny.add(s);
    EXPECT_EQ(tiny.frameCount(), 44100);
    EXPECT_FALSE(tiny.fitsFrameCount());
}

// A second of stereo: the levels are those of channel 0 alone (here quieter than the right one),
// read in one pass.
TEST_F(WaveformFiles, AWavFileGivesTheWholeFileLevelsOfItsFirstChannel) {
    std::vector<float> stereo(2 * 44100, 0.8f);
    std::vector<float> left(44100);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = (i % 2 == 0 ? 1.0f : -1.0f) * static_cast<float>(i / 220 % 10) / 40.0f;
        stereo[2 * i] = left[i];
    }
    writeWav(file("second.wav"), 2, stereo);
    const auto result = analyzeWaveformFile(file("second.wav"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->levels, wholeFileLevels(left));
    EXPECT_EQ(result->frameCount, 44100);
    EXPECT_DOUBLE_EQ(result->duration(), 1.0);
    EXPECT_EQ(result->passes, 1);
}

TEST_F(WaveformFiles, EmptyAndUnreadableFilesGiveNoOverview) {
    writeWav(file("empty.wav"), 1, {});
    std::ofstream(file("notes.mp3")) << "not audio at all, just some words in a file\n";
    ScopedLogCapture log;
    EXPECT_FALSE(analyzeWaveformFile(file("empty.wav")));
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(analyzeWaveformFile(file("notes.mp3")));
    EXPECT_FALSE(analyzeWaveformFile(file("missing.wav")));
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        EXPECT_TRUE(line.startsWith("Waveform analysis failed: ") && line.size() > 26) << line.toStdString();
    }
}

TEST_F(WaveformFiles, CompressedFilesStreamOnceToTheWholeFileLevels) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool oncePromised; // the container states the length well enough for one pass
    };
    const std::vector<Case> cases = {
        {"tone.mp3", {"-f", "lavfi", "-i", "sine=f=440:d=7:r=44100", "-c:a", "libmp3lame"}, true},
        {"noise.mp3",
         {"-f", "lavfi", "-i", "anoisesrc=d=200:r=44100:a=0.2", "-ac", "2", "-c:a", "libmp3lame", "-b:a", "96k"},
         true},
        {"no-header.mp3",
         {"-f", "lavfi", "-i", "sine=f=300:d=13.3:r=48000", "-c:a", "libmp3lame", "-write_xing", "0"},
         false},
        {"tone.ogg", {"-f", "lavfi", "-i", "sine=f=500:d=5.5:r=44100", "-c:a", "libvorbis"}, false},
    };
    for (const auto& c : cases) {
        ffmpeg(c.args, file(c.name));
        if (HasFatalFailure() || IsSkipped()) {
            return;
        }
        const auto reference = decodeChannel0(file(c.name));
        const auto result = analyzeWaveformFile(file(c.name));
        ASSERT_TRUE(result) << c.name;
        EXPECT_EQ(result->frameCount, static_cast<std::int64_t>(reference.size())) << c.name;
        EXPECT_EQ(result->levels, wholeFileLevels(reference)) << c.name;
        if (c.oncePromised) {
            EXPECT_EQ(result->passes, 1) << c.name;
        }
    }
}

TEST_F(WaveformFiles, TheControllerDeliversOnTheMainThreadWhileItLives) {
    writeWav(file("a.wav"), 1, std::vector<float>(1000, 0.125f));
    writeWav(file("b.wav"), 1, std::vector<float>(400, 0.0f));
    QTemporaryDir documents;
    QuelmoViewModel::Dependencies deps;
    deps.documentsDir = documents.path();
    deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
    auto model = std::make_unique<QuelmoViewModel>(deps);

    std::vector<std::pair<std::optional<WaveformAnalysis>, bool>> delivered; // result, on the main thread
    auto collect = [&](std::optional<WaveformAnalysis> result) {
        delivered.emplace_back(std::move(result), QThread::currentThread() == qApp->thread());
    };
    model->tracks()->analyzeWaveform(QuelmoImportedTrack(QUrl::fromLocalFile(QString::fromStdString(file("a.wav")))), collect);
    model->tracks()->analyzeWaveform(QuelmoImportedTrack(QUrl::fromLocalFile(QString::fromStdString(file("b.wav")))), collect);
    ASSERT_TRUE(test::spinUntil([&] { return delivered.size() == 2; }, 5000));
    for (const auto& [result, onMain] : delivered) {
        EXPECT_TRUE(onMain);
        ASSERT_TRUE(result);
        const float expected = result->frameCount == 1000 ? 0.5f : 0.0f;
        EXPECT_EQ(result->levels, std::vector<float>(200, expected));
    }

    // Gone before the analysis ends: nothing is delivered.
    delivered.clear();
    model->tracks()->analyzeWaveform(QuelmoImportedTrack(QUrl::fromLocalFile(QString::fromStdString(file("a.wav")))), collect);
    model.reset();
    test::spinFor(300);
    EXPECT_TRUE(delivered.empty());
}
