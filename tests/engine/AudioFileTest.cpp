#include "engine/file/AudioFile.h"

#include "EngineTestSupport.h"
#include "FfmpegTool.h"
#include "engine/file/AudioFileTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using quelmo::engine::AudioBuffer;
using quelmo::engine::AudioFile;
using quelmo::engine::AudioFileTesting;
using quelmo::engine::AudioFormat;
using namespace quelmo::engine::test;
namespace fs = std::filesystem;

namespace {

// One second of 440 Hz: left at amplitude 0.5, right (if any) at 0.25.
constexpr double amplitudes[] = {0.5, 0.25};

std::string tone(int rate, int channels, bool namedLayout = true) {
    std::string source = "aevalsrc=0.5*sin(2*PI*440*t)";
    source += channels == 1 ? "" : "|0.25*sin(2*PI*440*t)";
    source += ":s=" + std::to_string(rate) + ":d=1";
    return source + (!namedLayout ? "" : channels == 1 ? ":c=mono" : ":c=stereo");
}

// Reads `count` frames from `target` and expects what `whole` holds there, bit for bit.
void expectFramesAt(AudioFile& file, const Planes& whole, std::int64_t target, std::uint32_t count) {
    std::string error;
    ASSERT_TRUE(file.seek(target, &error)) << target << ": " << error;
    ASSERT_EQ(file.framePosition(), target);
    auto buffer = AudioBuffer::create(file.processingFormat(), count);
    const std::int64_t expected = std::min<std::int64_t>(count, file.length() - target);
    ASSERT_EQ(file.read(*buffer, count, &error), expected) << target << ": " << error;
    for (std::uint32_t c = 0; c < buffer->channelCount(); ++c) {
        EXPECT_TRUE(
            std::equal(buffer->channel(c).begin(), buffer->channel(c).end(), whole[c].begin() + target))
            << "frames from " << target << ", channel " << c;
    }
}

// Test files are made with the ffmpeg command line, in a scratch directory of the test's own.
class WithFfmpeg : public testing::Test {
protected:
    void SetUp() override {
        if (program_.empty()) {
            GTEST_SKIP() << "ffmpeg is not on PATH; it makes the test files";
        }
    }

    // Runs ffmpeg quietly, without stdin, writing `output`; true when it succeeded.
    bool ffmpeg(std::vector<std::string> args, const fs::path& output) {
        return quelmo::test::runFfmpeg(program_, std::move(args), output);
    }

    // What the ffmpeg command line decodes from `file`, as float.
    Planes decodeWithFfmpeg(const fs::path& file, std::uint32_t channels) {
        const fs::path raw = dir_ / "decoded.f32";
        EXPECT_TRUE(ffmpeg({"-i", file.string(), "-map", "0:a:0", "-f", "f32le", "-c:a", "pcm_f32le"}, raw));
        std::ifstream in(raw, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Planes planes(channels, std::vector<float>(bytes.size() / sizeof(float) / channels));
        for (std::size_t i = 0; i < planes[0].size() * channels; ++i) {
            std::memcpy(&planes[i % channels][i / channels], bytes.data() + i * sizeof(float), sizeof(float));
        }
        return planes;
    }

    fs::path program_ = quelmo::test::ffmpegProgram();
    ScratchDir scratch_;
    fs::path dir_ = scratch_.path;
};

struct Encoding {
    const char* name;
    const char* fileName;
    std::vector<std::string> options; // for ffmpeg's output
    int rate;
    int channels;
    bool lossless;
    bool namedLayout = true;
};

std::ostream& operator<<(std::ostream& out, const Encoding& encoding) {
    return out << encoding.name;
}

class EncodedTone : public WithFfmpeg, public testing::WithParamInterface<Encoding> {
protected:
    void SetUp() override {
        WithFfmpeg::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            const Encoding& encoding = GetParam();
            path_ = dir_ / encoding.fileName;
            std::vector<std::string> args = {"-f", "lavfi", "-i",
                                             tone(encoding.rate, encoding.channels, encoding.namedLayout)};
            args.insert(args.end(), encoding.options.begin(), encoding.options.end());
            ASSERT_TRUE(ffmpeg(args, path_)) << "ffmpeg could not make " << encoding.name;
        }
    }

    fs::path path_;
};

TEST_P(EncodedTone, ReadsAndSeeksToExactlyTheFramesFfmpegDecodes) {
    const Encoding& encoding = GetParam();
    std::string error;
    auto file = AudioFile::open(path_.string(), &error);
    ASSERT_NE(file, nullptr) << error;
    EXPECT_EQ(file->processingFormat(), (AudioFormat{static_cast<double>(encoding.rate),
                                                     static_cast<std::uint32_t>(encoding.channels)}));

    const Planes planes = readToEnd(*file, 4093);
    const auto length = static_cast<std::int64_t>(planes[0].size());
    EXPECT_EQ(file->length(), length);
    // Lossy codecs may keep some of the encoder's priming or padding.
    EXPECT_NEAR(static_cast<double>(length), encoding.rate, encoding.lossless ? 0.0 : 3000.0);
    // Exactly the frames the ffmpeg command line decodes.
    EXPECT_EQ(planes, decodeWithFfmpeg(path_, encoding.channels));
    // Each channel is the tone at its level; the middle, away from codec edge effects.
    for (int c = 0; c < encoding.channels; ++c) {
        const std::span<const float> middle(planes[c].data() + encoding.rate / 4, encoding.rate / 2);
        EXPECT_NEAR(amplitudeAt(middle, encoding.rate, 440.0), amplitudes[c], amplitudes[c] * 0.05);
        EXPECT_LT(amplitudeAt(middle, encoding.rate, 1000.0), amplitudes[c] * 0.01);
    }

    // Seeks forwards, backwards, within the frame at hand, to the very ends.
    for (std::int64_t target : {length / 2 + 17, std::int64_t{1}, std::int64_t{3}, length - 1, length / 3,
                                std::int64_t{0}, length, std::int64_t{12345}, std::int64_t{12000}}) {
        expectFramesAt(*file, planes, target, 3000);
    }
    // Out of range: refused, and the position stays.
    const std::int64_t before = file->framePosition();
    EXPECT_FALSE(file->seek(-1, &error));
    EXPECT_FALSE(file->seek(length + 1, &error));
    EXPECT_EQ(file->framePosition(), before);

    // A buffer of the wrong width is refused.
    auto wrong = AudioBuffer::create({48000.0, encoding.channels == 1 ? 2u : 1u}, 16);
    ASSERT_TRUE(file->seek(0, &error)) << error;
    EXPECT_EQ(file->read(*wrong, 16, &error), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncodedTone,
    testing::ValuesIn(std::vector<Encoding>{
        {"wav_s16_mono_44k", "tone.wav", {"-c:a", "pcm_s16le"}, 44100, 1, true},
        {"wav_s16_stereo_48k_unnamed_layout", "tone.wav", {"-c:a", "pcm_s16le"}, 48000, 2, true, false},
        {"wav_u8_stereo_44k", "tone.wav", {"-c:a", "pcm_u8"}, 44100, 2, true},
        {"wav_s24_mono_48k", "tone.wav", {"-c:a", "pcm_s24le"}, 48000, 1, true},
        {"wav_f64_stereo_44k", "tone.wav", {"-c:a", "pcm_f64le"}, 44100, 2, true},
        {"aiff_s16_stereo_44k", "tone.aiff", {}, 44100, 2, true},
        {"flac_mono_48k", "tone.flac", {}, 48000, 1, true},
        {"flac_s24_stereo_44k", "tone.flac", {"-sample_fmt", "s32"}, 44100, 2, true},
        {"mp3_mono_44k", "tone.mp3", {"-c:a", "libmp3lame"}, 44100, 1, false},
        {"mp3_stereo_48k", "tone.mp3", {"-c:a", "libmp3lame"}, 48000, 2, false},
        {"vorbis_mono_48k", "tone.ogg", {"-c:a", "libvorbis"}, 48000, 1, false},
        {"vorbis_stereo_44k", "tone.ogg", {"-c:a", "libvorbis"}, 44100, 2, false},
        {"aac_mono_44k", "tone.m4a", {"-c:a", "aac"}, 44100, 1, false},
        {"aac_stereo_48k", "tone.m4a", {"-c:a", "aac"}, 48000, 2, false},
        {"opus_stereo_48k", "tone.opus", {"-c:a", "libopus"}, 48000, 2, false},
        {"webm_opus_mono_48k", "tone.webm", {"-c:a", "libopus"}, 48000, 1, false},
    }),
    [](const auto& param) { return std::string(param.param.name); });

// Half a minute of gliding tones over noise: the kind of signal for which an MP3 encoder borrows
// from its bit reservoir and the others change their block sizes.
constexpr int longSeconds = 30;

std::string music(int rate, int channels) {
    std::string source = "aevalsrc=0.3*sin(2*PI*(330+40*sin(2*PI*0.07*t))*t)+0.06*(random(0)-0.5)";
    source += channels == 1
                  ? ""
                  : "|0.2*sin(2*PI*(550+60*sin(2*PI*0.11*t))*t)*sin(2*PI*0.5*t)+0.04*(random(1)-0.5)";
    return source + ":s=" + std::to_string(rate) + ":d=" + std::to_string(longSeconds) +
           (channels == 1 ? ":c=mono" : ":c=stereo");
}

struct LongEncoding {
    const char* name;
    const char* fileName;
    std::vector<std::string> options;
    int rate;
    int channels;
    bool indexed; // seeks go through the seek index; AAC's decode from the start
};

std::ostream& operator<<(std::ostream& out, const LongEncoding& encoding) {
    return out << encoding.name;
}

class LongEncodedMusic : public WithFfmpeg, public testing::WithParamInterface<LongEncoding> {
protected:
    void SetUp() override {
        WithFfmpeg::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            const LongEncoding& encoding = GetParam();
            path_ = dir_ / encoding.fileName;
            std::vector<std::string> args = {"-f", "lavfi", "-i", music(encoding.rate, encoding.channels)};
            args.insert(args.end(), encoding.options.begin(), encoding.options.end());
            ASSERT_TRUE(ffmpeg(args, path_)) << "ffmpeg could not make " << encoding.name;
        }
    }

    fs::path path_;
};

// Seeks to anywhere, backwards and forwards, right before, at and after the index's points and to
// the very ends, deliver what the full read delivers; reads on from there too, across later points.
TEST_P(LongEncodedMusic, SeeksAnywhereToTheFramesOfAFullRead) {
    const LongEncoding& encoding = GetParam();
    std::string error;
    auto file = AudioFile::open(path_.string(), &error);
    ASSERT_NE(file, nullptr) << error;
    const Planes whole = readToEnd(*file, 8192);
    const std::int64_t length = file->length();
    ASSERT_EQ(static_cast<std::int64_t>(whole[0].size()), length);
    const std::int64_t filePackets = AudioFileTesting::packetsDecoded(*file);

    const std::vector<std::int64_t> points = AudioFileTesting::seekIndexFrames(*file);
    if (encoding.indexed) {
        // About a point a second, at little cost: a two-hour file stays well under a megabyte.
        EXPECT_GE(points.size(), longSeconds - 2u);
        EXPECT_LE(points.size(), longSeconds + 1u);
        EXPECT_LE(AudioFileTesting::seekIndexBytes(*file), 64u * longSeconds + 1024u);
    } else {
        EXPECT_EQ(AudioFileTesting::seekIndexBytes(*file), 0u) << "no index where seeks cannot be exact";
    }

    std::vector<std::int64_t> targets = {length - 1, 0, length, 1, length / 2, length - 1000};
    for (std::size_t i = 0; i < points.size(); i += 3) {
        targets.insert(targets.end(), {points[i] + 1, points[i], points[i] - 1});
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 30; ++i) {
        targets.push_back(std::uniform_int_distribution<std::int64_t>(0, length)(random));
    }
    std::shuffle(targets.begin() + 6, targets.end(), random);
    for (std::size_t i = 0; i < targets.size() && !HasFailure(); ++i) {
        // Every fifth read goes on for a second and a half, across the next point.
        const auto count = static_cast<std::uint32_t>(i % 5 == 0 ? encoding.rate * 3 / 2 : 1500);
        expectFramesAt(*file, whole, targets[i], count);
    }

    if (encoding.indexed) {
        // Near the end, from the start and back again, a seek decodes a few seconds, not the file.
        for (const std::int64_t target : {length - encoding.rate / 2, length / 3}) {
            const std::int64_t before = AudioFileTesting::packetsDecoded(*file);
            expectFramesAt(*file, whole, target, 1000);
            EXPECT_LT((AudioFileTesting::packetsDecoded(*file) - before) * 4, filePackets) << target;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LongEncodedMusic,
    testing::ValuesIn(std::vector<LongEncoding>{
        {"mp3_32k_mono_44k", "music.mp3", {"-c:a", "libmp3lame", "-b:a", "32k"}, 44100, 1, true},
        {"mp3_8k_mono_22k", "music.mp3", {"-c:a", "libmp3lame", "-b:a", "8k"}, 22050, 1, true},
        {"mp3_8k_stereo_24k", "music.mp3", {"-c:a", "libmp3lame", "-b:a", "8k"}, 24000, 2, true},
        {"mp3_192k_stereo_44k", "music.mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}, 44100, 2, true},
        {"mp3_vbr_stereo_48k", "music.mp3", {"-c:a", "libmp3lame", "-q:a", "6"}, 48000, 2, true},
        {"vorbis_stereo_44k", "music.ogg", {"-c:a", "libvorbis"}, 44100, 2, true},
        {"aac_stereo_48k", "music.m4a", {"-c:a", "aac"}, 48000, 2, false},
        {"opus_stereo_48k", "music.opus", {"-c:a", "libopus"}, 48000, 2, true},
        {"webm_opus_mono_48k", "music.webm", {"-c:a", "libopus"}, 48000, 1, true},
        {"flac_in_ogg_stereo_44k", "music.oga", {"-c:a", "flac"}, 44100, 2, true},
    }),
    [](const auto& param) { return std::string(param.param.name); });

// Files that are not audio at all: refused, with the reason.
class NotAudioFile : public WithFfmpeg {};

TEST_F(NotAudioFile, IsRefusedWithAReason) {
    std::ofstream(dir_ / "empty.wav", std::ios::binary).flush();
    std::ofstream(dir_ / "notes.mp3", std::ios::binary) << "Not music, just a few words.\n";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "color=red:s=16x16", "-frames:v", "1"}, dir_ / "red.png"));
    const std::pair<const char*, const char*> cases[] = {{"missing.wav", "No such file or directory"},
                                                         {"empty.wav", ""},
                                                         {"notes.mp3", ""},
                                                         {"red.png", "no audio stream"}};
    for (const auto& [name, reason] : cases) {
        std::string error;
        EXPECT_EQ(AudioFile::open((dir_ / name).string(), &error), nullptr) << name;
        EXPECT_FALSE(error.empty()) << name;
        EXPECT_NE(error.find(reason), std::string::npos) << name << ": " << error;
    }
}

// Files cut in half, through a packet and a sample, while their headers still promise the whole
// second. Lossless ones deliver exactly the frames before the cut; lossy ones may also be refused,
// but what opens reads as many frames as it says.
class CutFile : public WithFfmpeg, public testing::WithParamInterface<const char*> {};

TEST_P(CutFile, DeliversWhatIsBeforeTheCut) {
    const std::string extension = GetParam();
    const bool lossless = extension == "wav" || extension == "aiff" || extension == "flac";
    const fs::path whole = dir_ / ("whole." + extension);
    const fs::path cut = dir_ / ("cut." + extension);
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", tone(44100, 2)}, whole));
    fs::copy_file(whole, cut);
    fs::resize_file(cut, fs::file_size(whole) / 2 | 1u);

    std::string error;
    auto full = AudioFile::open(whole.string(), &error);
    ASSERT_NE(full, nullptr) << error;
    auto part = AudioFile::open(cut.string(), &error);
    if (!part && !lossless) {
        EXPECT_FALSE(error.empty());
        return;
    }
    ASSERT_NE(part, nullptr) << error;
    const Planes wholePlanes = readToEnd(*full, 4096);
    const Planes partPlanes = readToEnd(*part, 4096);
    ASSERT_EQ(static_cast<std::int64_t>(partPlanes[1].size()), part->length());
    EXPECT_LT(part->length(), 44100 * 3 / 4);
    if (lossless) {
        EXPECT_GT(part->length(), 44100 / 4);
        EXPECT_TRUE(std::equal(partPlanes[1].begin(), partPlanes[1].end(), wholePlanes[1].begin()));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, CutFile, testing::Values("wav", "aiff", "flac", "mp3", "ogg", "m4a"));

} // namespace

namespace {

bool ffmpegMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("/libavcodec.so") != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

// FFmpeg and the codec libraries it pulls in (some 16 MB resident) come with the first file opened,
// not with the program: a deck that only plays its pads never maps them. ctest runs each test in a
// process of its own, so nothing has opened a file before this one.
TEST_F(WithFfmpeg, FfmpegIsLoadedByTheFirstFileOpened) {
    if (ffmpegMapped()) {
        GTEST_SKIP() << "an earlier test in this process opened a file";
    }
    const fs::path path = dir_ / "tone.flac";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", tone(44100, 2)}, path));
    EXPECT_FALSE(ffmpegMapped());
    std::string error;
    auto file = AudioFile::open(path.string(), &error);
    ASSERT_NE(file, nullptr) << error;
    EXPECT_TRUE(ffmpegMapped());
    EXPECT_EQ(file->length(), 44100);
}

// Opened for one read, a compressed file is not counted up front, yet reads exactly what open()
// reads; its length is the container's word until the end, then exact. WAV is exact from the start.
TEST_F(WithFfmpeg, OpenForOneReadDeliversWhatOpenDeliversAndLearnsTheLength) {
    for (const char* name : {"tone.mp3", "tone.ogg", "tone.wav"}) {
        const fs::path path = dir_ / name;
        ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", tone(44100, 2)}, path));
        std::string error;
        auto counted = AudioFile::open(path.string(), &error);
        ASSERT_NE(counted, nullptr) << error;
        auto once = AudioFile::openForOneRead(path.string(), &error);
        ASSERT_NE(once, nullptr) << error;
        const bool wav = std::string_view(name).ends_with("wav");
        EXPECT_EQ(once->lengthIsExact(), wav) << name;
        if (!wav) {
            EXPECT_FALSE(once->seek(1000, &error)) << name;
            EXPECT_NEAR(static_cast<double>(once->length()), static_cast<double>(counted->length()), 4096.0)
                << name << ": the container's length";
        }
        const Planes expected = readToEnd(*counted, 4096);
        EXPECT_EQ(readToEnd(*once, 1000), expected) << name;
        EXPECT_TRUE(once->lengthIsExact()) << name;
        EXPECT_EQ(once->length(), counted->length()) << name;
        // Now like any open file: back to the start and the same frames again.
        ASSERT_TRUE(once->seek(0, &error)) << error;
        EXPECT_EQ(readToEnd(*once, 4096), expected) << name;
    }
}

// Given the length a full read counted, a compressed file opens without counting again and reads and
// seeks as one open() counted, its duplicates (what a player streams from) too. It records its index
// as its duplicates read, and they share it: the first seek far in decodes from the start, a later
// one in another duplicate only from a point.
TEST_F(WithFfmpeg, OpenedWithItsLengthReadsLikeOpenAndDuplicatesShareTheIndexTheyRecord) {
    const fs::path path = dir_ / "music.mp3";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", music(44100, 2), "-c:a", "libmp3lame"}, path));
    std::string error;
    auto counted = AudioFile::open(path.string(), &error);
    ASSERT_NE(counted, nullptr) << error;
    const Planes whole = readToEnd(*counted, 8192);
    const std::int64_t length = counted->length();
    const std::int64_t filePackets = AudioFileTesting::packetsDecoded(*counted);

    auto known = AudioFile::openWithLength(path.string(), length, &error);
    ASSERT_NE(known, nullptr) << error;
    EXPECT_TRUE(known->lengthIsExact());
    EXPECT_EQ(known->length(), length);
    EXPECT_TRUE(AudioFileTesting::seekIndexFrames(*known).empty()) << "nothing decoded yet";
    auto first = known->duplicate(&error);
    ASSERT_NE(first, nullptr) << error;
    expectFramesAt(*first, whole, length * 3 / 4, 1000);
    EXPECT_GT(AudioFileTesting::packetsDecoded(*first) * 2, filePackets) << "from the start";

    auto second = known->duplicate(&error);
    ASSERT_NE(second, nullptr) << error;
    expectFramesAt(*second, whole, length / 2 + 5, 1000);
    expectFramesAt(*second, whole, length / 5, 1000);
    expectFramesAt(*second, whole, length * 3 / 4 - 2000, 1000);
    EXPECT_LT(AudioFileTesting::packetsDecoded(*second) * 5, filePackets) << "from index points";
    // Past what has been read: from the last point on.
    const std::int64_t before = AudioFileTesting::packetsDecoded(*second);
    expectFramesAt(*second, whole, length - 10, 10);
    EXPECT_LT((AudioFileTesting::packetsDecoded(*second) - before) * 3, filePackets);
    EXPECT_EQ(readToEnd(*second, 1000), Planes(whole.size())) << "nothing after the end";
    EXPECT_EQ(readToEnd(*known, 4096), whole);
}

// Duplicates reading on two threads record into one index and seek through it at the same time.
TEST_F(WithFfmpeg, DuplicatesOnTwoThreadsRecordAndUseOneIndex) {
    const fs::path path = dir_ / "music.ogg";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", music(44100, 2), "-c:a", "libvorbis"}, path));
    std::string error;
    auto counted = AudioFile::open(path.string(), &error);
    ASSERT_NE(counted, nullptr) << error;
    const Planes whole = readToEnd(*counted, 8192);
    auto known = AudioFile::openWithLength(path.string(), counted->length(), &error);
    ASSERT_NE(known, nullptr) << error;

    const auto seekAround = [&](std::uint64_t seed) {
        std::string copyError;
        auto copy = known->duplicate(&copyError);
        ASSERT_NE(copy, nullptr) << copyError;
        std::mt19937_64 random(seed);
        for (int i = 0; i < 12; ++i) {
            const auto target = std::uniform_int_distribution<std::int64_t>(0, copy->length())(random);
            expectFramesAt(*copy, whole, target, 3000);
        }
    };
    std::thread other(seekAround, 1);
    seekAround(2);
    other.join();
    EXPECT_FALSE(AudioFileTesting::seekIndexFrames(*known).empty());
}

// A file replaced after its index was made no longer has the recorded packets where the index says:
// its readers seek by decoding from the start, and deliver what the file now holds.
TEST_F(WithFfmpeg, AFileThatNoLongerMatchesItsIndexSeeksFromTheStart) {
    const fs::path path = dir_ / "music.mp3";
    const fs::path other = dir_ / "other.mp3";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", music(44100, 2), "-c:a", "libmp3lame"}, path));
    ASSERT_TRUE(
        ffmpeg({"-f", "lavfi", "-i", music(44100, 2), "-af", "volume=0.5", "-c:a", "libmp3lame"}, other));
    std::string error;
    auto file = AudioFile::open(path.string(), &error);
    ASSERT_NE(file, nullptr) << error;
    auto reference = AudioFile::open(other.string(), &error);
    ASSERT_NE(reference, nullptr) << error;
    ASSERT_EQ(reference->length(), file->length());
    const Planes now = readToEnd(*reference, 8192);
    ASSERT_FALSE(AudioFileTesting::seekIndexFrames(*file).empty());

    fs::rename(other, path);
    auto copy = file->duplicate(&error);
    ASSERT_NE(copy, nullptr) << error;
    expectFramesAt(*copy, now, file->length() / 2, 4000);
    expectFramesAt(*copy, now, file->length() / 3, 4000);
}
