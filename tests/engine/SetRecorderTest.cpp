#include "engine/record/SetRecorder.h"

#include "EngineTestSupport.h"
#include "engine/file/AudioFile.h"
#include "support/ScopedEnv.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace quelmo::engine;
using namespace quelmo::engine::test;
namespace fs = std::filesystem;

extern char** environ;

namespace {

using Format = SetRecorder::Format;

// A short set: a tone over deterministic noise, loud enough to use all 24 bits, then over two
// seconds of silence (long enough for an idle engine to suspend its device), then the tone again.
// Everything the device got is kept, block by block.
struct SetRig {
    SuspendableDriver* driver = nullptr;
    std::unique_ptr<AudioEngine> engine;
    std::shared_ptr<PlayerNode> player = std::make_shared<PlayerNode>();
    Planes played{{}, {}};
    // Rendering runs far ahead of real time; with a recorder set it waits for the writer instead,
    // so that the ring does not overflow.
    std::shared_ptr<SetRecorder> pace;
    bool everSuspended = false; // the device was suspended after some block

    SetRig() {
        auto owned = std::make_unique<SuspendableDriver>();
        driver = owned.get();
        engine = std::make_unique<AudioEngine>(std::move(owned));
        engine->start();
        engine->attach(player);
        engine->connect(player, engine->mainMixer());
        player->play();
    }

    static std::shared_ptr<AudioBuffer> phrase() {
        std::uint32_t noise = 12345;
        return makeBuffer(44100, [&](std::uint32_t i) {
            noise = noise * 1664525u + 1013904223u;
            const float hiss = static_cast<float>(noise >> 8) / 16777216.0f - 0.5f;
            return 0.6f * static_cast<float>(std::sin(i * 0.0627)) + 0.3f * hiss;
        });
    }

    // Renders frames in blocks of varying size, as a sound server asks for them.
    void render(std::uint32_t frames) {
        static constexpr std::uint32_t sizes[] = {512, 441, 1024, 64, 3000};
        for (std::uint32_t done = 0, k = 0; done < frames; ++k) {
            const std::uint32_t n = std::min(sizes[k % 5], frames - done);
            auto block = driver->offline.renderFrames(n, n);
            for (int c = 0; c < 2; ++c) {
                played[c].insert(played[c].end(), block->channel(c).begin(), block->channel(c).end());
            }
            done += n;
            engine->dispatchEvents();
            everSuspended = everSuspended || driver->suspended;
            while (pace && pace->capturedFrames() - pace->savedFrames() > 65536) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    void playSet() {
        player->scheduleBuffer(phrase());
        render(50000);
        render(140000); // silence after the phrase
        player->scheduleBuffer(phrase());
        render(50000);
    }
};

Planes decode(const fs::path& path, std::string* error) {
    auto file = AudioFile::open(path.string(), error);
    if (!file) {
        return Planes{{}, {}};
    }
    EXPECT_EQ(file->processingFormat(), (AudioFormat{44100.0, 2}));
    Planes planes = readToEnd(*file, 4096);
    EXPECT_EQ(static_cast<std::int64_t>(planes[0].size()), file->length());
    return planes;
}

// What a lossless file of the format holds for a played sample: the float itself, or its 24-bit value.
float stored(float sample, Format format) {
    if (format == Format::wav) {
        return sample;
    }
    const double q =
        std::clamp(std::nearbyint(static_cast<double>(sample) * 8388608.0), -8388608.0, 8388607.0);
    return static_cast<float>(q / 8388608.0);
}

// The index of the first frame where the file differs from played[from...], or -1.
std::int64_t firstMismatch(const Planes& file, const Planes& played, std::size_t from, Format format) {
    for (std::size_t i = 0; i < file[0].size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            if (from + i >= played[c].size() || file[c][i] != stored(played[c][from + i], format)) {
                return static_cast<std::int64_t>(i);
            }
        }
    }
    return -1;
}

class SetRecorderTest : public testing::TestWithParam<Format> {
protected:
    fs::path file(const std::string& stem) const {
        return dir_.path / (stem + (GetParam() == Format::flac ? ".flac" : ".wav"));
    }
    ScratchDir dir_;
};

} // namespace

TEST_P(SetRecorderTest, TheFileHoldsExactlyWhatTheOutputPlayedAndTheDeviceStaysAwake) {
    SetRig rig;
    rig.player->scheduleBuffer(SetRig::phrase());
    rig.render(3000); // before REC: not in the file
    const std::size_t startedAt = rig.played[0].size();

    auto recorder = std::make_shared<SetRecorder>();
    const fs::path path = file("set");
    ASSERT_EQ(recorder->start(path.string(), GetParam()), std::nullopt);
    rig.engine->setOutputRecorder(recorder);
    rig.pace = recorder;
    rig.playSet();
    // Silence longer than the idle limit did not suspend the device while recording.
    EXPECT_FALSE(rig.everSuspended);
    rig.engine->setOutputRecorder(nullptr);
    rig.render(2000); // after REC: not in the file
    rig.engine->dispatchEvents();
    ASSERT_EQ(recorder->stop(), std::nullopt);

    const auto recorded = static_cast<std::int64_t>(rig.played[0].size() - startedAt - 2000);
    EXPECT_EQ(recorder->capturedFrames(), recorded);
    EXPECT_EQ(recorder->droppedFrames(), 0);
    EXPECT_EQ(recorder->savedFrames(), recorded);
    EXPECT_EQ(recorder->savedBytes(), static_cast<std::int64_t>(fs::file_size(path)));

    std::string error;
    const Planes fromFile = decode(path, &error);
    ASSERT_EQ(static_cast<std::int64_t>(fromFile[0].size()), recorded) << error;
    EXPECT_EQ(firstMismatch(fromFile, rig.played, startedAt, GetParam()), -1);

    // With nothing recording, the idle device is suspended again.
    rig.render(100000);
    EXPECT_TRUE(rig.everSuspended);
    EXPECT_EQ(recorder->start(path.string(), GetParam()), std::string("this recorder has already recorded"));
}

// The recording process of the next test: this program started again by it. Records the set to
// $QUELMO_KILL_TEST_FILE, writes how many frames it has saved to descriptor $QUELMO_KILL_TEST_FD and
// kills itself mid-recording. (A fork of the test process could not start the writer thread under
// ThreadSanitizer once other tests have left threads behind.)
TEST(SetRecorderKilled, DISABLED_RecordsUntilKilled) {
    const char* path = std::getenv("QUELMO_KILL_TEST_FILE");
    const char* fd = std::getenv("QUELMO_KILL_TEST_FD");
    if (path == nullptr || fd == nullptr) {
        GTEST_SKIP() << "started by AProcessKilledWhileRecordingLeavesAFileReadableUpToTheKill";
    }
    const Format format = fs::path(path).extension() == ".flac" ? Format::flac : Format::wav;
    SetRig rig;
    auto recorder = std::make_shared<SetRecorder>();
    ASSERT_EQ(recorder->start(path, format), std::nullopt);
    rig.engine->setOutputRecorder(recorder);
    rig.pace = recorder;
    rig.playSet();
    // Wait until the writer has saved all but what the encoder holds back, then die mid-recording.
    for (int i = 0; i < 500 && recorder->savedFrames() + 8192 < recorder->capturedFrames(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::int64_t saved = recorder->savedFrames();
    ASSERT_EQ(::write(std::atoi(fd), &saved, sizeof saved), static_cast<ssize_t>(sizeof saved));
    ::kill(::getpid(), SIGKILL);
}

TEST_P(SetRecorderTest, AProcessKilledWhileRecordingLeavesAFileReadableUpToTheKill) {
    const fs::path path = file("killed");
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const quelmo::test::ScopedEnv toFile("QUELMO_KILL_TEST_FILE", path.string());
    const quelmo::test::ScopedEnv toFd("QUELMO_KILL_TEST_FD", std::to_string(report[1]));
    char self[] = "/proc/self/exe";
    char disabled[] = "--gtest_also_run_disabled_tests";
    char filter[] = "--gtest_filter=SetRecorderKilled.DISABLED_RecordsUntilKilled";
    char* argv[] = {self, disabled, filter, nullptr};
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, self, &quiet, nullptr, argv, environ);
    ::posix_spawn_file_actions_destroy(&quiet);
    ASSERT_EQ(spawned, 0);
    ::close(report[1]);
    std::int64_t saved = -1;
    const auto got = ::read(report[0], &saved, sizeof saved);
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the recording process did not get as far";
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof saved));

    // The same set played here is what the child's output played.
    SetRig reference;
    reference.playSet();
    std::string error;
    const Planes fromFile = decode(path, &error);
    EXPECT_GE(static_cast<std::int64_t>(fromFile[0].size()), saved) << error;
    EXPECT_GT(saved, 150000);
    EXPECT_EQ(firstMismatch(fromFile, reference.played, 0, GetParam()), -1);
}

TEST_P(SetRecorderTest, AFullRingDropsCountsAndLogsFramesWithoutWaiting) {
    std::mutex logMutex;
    std::vector<std::string> lines;
    // A ring smaller than one block: every block overflows it whatever the writer does.
    auto recorder = std::make_shared<SetRecorder>(
        [&](const std::string& line) {
            std::lock_guard lock(logMutex);
            lines.push_back(line);
        },
        1000);
    SetRig rig;
    const fs::path path = file("overflow");
    ASSERT_EQ(recorder->start(path.string(), GetParam()), std::nullopt);
    rig.engine->setOutputRecorder(recorder);
    rig.player->scheduleBuffer(SetRig::phrase());
    for (int i = 0; i < 20; ++i) {
        auto block = rig.driver->offline.renderFrames(4000, 4000);
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 2 == 0 ? 0 : 30));
    }
    rig.engine->setOutputRecorder(nullptr);
    rig.engine->dispatchEvents();
    ASSERT_EQ(recorder->stop(), std::nullopt);

    EXPECT_GE(recorder->droppedFrames(), 20 * 3000);
    EXPECT_EQ(recorder->capturedFrames() + recorder->droppedFrames(), 20 * 4000);
    EXPECT_EQ(recorder->savedFrames(), recorder->capturedFrames());
    std::string error;
    EXPECT_EQ(static_cast<std::int64_t>(decode(path, &error)[0].size()), recorder->capturedFrames()) << error;

    // Every gap is logged once, with its size and its place in the file; the sizes add up.
    std::int64_t logged = 0;
    std::int64_t lastAt = -1;
    const std::regex gapLine(R"(Quelmo: recording dropped (\d+) frames at (\d\d):(\d\d))");
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, gapLine)) << line;
        logged += std::stoll(m[1]);
        const std::int64_t at = std::stoll(m[2]) * 60 + std::stoll(m[3]);
        EXPECT_GE(at, lastAt);
        lastAt = at;
    }
    EXPECT_EQ(logged, recorder->droppedFrames());
}

INSTANTIATE_TEST_SUITE_P(Formats, SetRecorderTest, testing::Values(Format::flac, Format::wav),
                         [](const testing::TestParamInfo<Format>& p) {
                             return p.param == Format::flac ? "Flac" : "Wav";
                         });

TEST(SetRecorderErrors, AFileThatCannotBeMadeIsRefusedWithItsReason) {
    SetRecorder recorder;
    const auto error = recorder.start("/nonexistent-folder/set.flac", Format::flac);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("cannot create the file"), std::string::npos) << *error;
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(SetRecorder::clockText(83.9), "01:23");
    EXPECT_EQ(SetRecorder::clockText(3723.0), "1:02:03");
}
