#include "engine/file/FormatConverter.h"

#include "Tone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

using quelmo::engine::AudioFormat;
using quelmo::engine::FormatConverter;
using quelmo::test::amplitudeAt;

namespace {

using Planes = std::vector<std::vector<float>>;

// One second of a 440 Hz sine at amplitude 0.5 in the channels listed in `toneIn`, silence in the rest.
Planes tone(int rate, std::uint32_t channels, std::vector<std::uint32_t> toneIn) {
    Planes planes(channels, std::vector<float>(static_cast<std::size_t>(rate), 0.0f));
    for (std::uint32_t c : toneIn) {
        for (int i = 0; i < rate; ++i) {
            planes[c][i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * i / rate));
        }
    }
    return planes;
}

struct Converted {
    Planes planes{2};
    std::uint32_t immediate = 0; // frames that came out of the convert() call their input went into
};

// Feeds `input` in blocks of `block` frames with `room` frames of output per call, drains what was
// kept back, then flushes.
Converted convertAll(FormatConverter& converter, const Planes& input, std::uint32_t block,
                     std::uint32_t room) {
    Converted result;
    Planes out(2, std::vector<float>(room));
    float* outPointers[] = {out[0].data(), out[1].data()};
    const auto append = [&](std::uint32_t frames) {
        for (std::size_t c = 0; c < 2; ++c) {
            result.planes[c].insert(result.planes[c].end(), out[c].begin(), out[c].begin() + frames);
        }
        return frames;
    };
    std::vector<const float*> in(input.size());
    for (std::size_t done = 0; done < input[0].size(); done += block) {
        for (std::size_t c = 0; c < input.size(); ++c) {
            in[c] = input[c].data() + done;
        }
        const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(block, input[0].size() - done));
        result.immediate += append(converter.convert(in.data(), frames, outPointers, room));
    }
    while (append(converter.convert(nullptr, 0, outPointers, room)) > 0) {
    }
    while (append(converter.flush(outPointers, room)) > 0) {
    }
    return result;
}

TEST(FormatConverter, BringsMonoAndStereoToTheGraphFormatAtUnityGain) {
    struct Case {
        int rate;
        std::uint32_t channels;
    };
    for (const Case& source :
         {Case{44100, 1}, Case{44100, 2}, Case{48000, 1}, Case{22050, 2}, Case{96000, 2}}) {
        SCOPED_TRACE(testing::Message() << source.rate << " Hz, " << source.channels << " channels");
        std::string error;
        auto converter = FormatConverter::create({static_cast<double>(source.rate), source.channels}, &error);
        ASSERT_NE(converter, nullptr) << error;
        const Planes input =
            tone(source.rate, source.channels,
                 source.channels == 1 ? std::vector<std::uint32_t>{0} : std::vector<std::uint32_t>{0, 1});
        const Converted output = convertAll(*converter, input, 1000, converter->maxOutputFrames(1000));
        const auto& left = output.planes[0];
        EXPECT_EQ(left, output.planes[1]);
        if (source.rate == 44100) {
            // Nothing resampled: every frame comes straight out, unchanged.
            EXPECT_EQ(output.immediate, 44100u);
            EXPECT_EQ(left, input[0]);
        } else {
            EXPECT_NEAR(static_cast<double>(left.size()), 44100.0, 2.0);
        }
        const std::span<const float> middle(left.data() + 11025, 22050);
        EXPECT_NEAR(amplitudeAt(middle, 44100.0, 440.0), 0.5, 0.005);
        EXPECT_LT(amplitudeAt(middle, 44100.0, 1000.0), 0.001);
    }
}

TEST(FormatConverter, FoldsSurroundDownToStereo) {
    // Default 5.1 order: front left, front right, centre, low frequency, back left, back right.
    struct Case {
        std::uint32_t channel;
        bool left;
        bool right;
    };
    for (const Case& c : {Case{0, true, false}, Case{1, false, true}, Case{2, true, true}}) {
        SCOPED_TRACE(c.channel);
        auto converter = FormatConverter::create({44100.0, 6}, nullptr);
        ASSERT_NE(converter, nullptr);
        const Converted output = convertAll(*converter, tone(44100, 6, {c.channel}), 4096, 4096);
        ASSERT_EQ(output.planes[0].size(), 44100u);
        EXPECT_EQ(amplitudeAt(output.planes[0], 44100.0, 440.0) > 0.1, c.left);
        EXPECT_EQ(amplitudeAt(output.planes[1], 44100.0, 440.0) > 0.1, c.right);
    }
}

TEST(FormatConverter, KeepsWhatDoesNotFitAndStartsAfreshAfterReset) {
    auto converter = FormatConverter::create({48000.0, 2}, nullptr);
    ASSERT_NE(converter, nullptr);
    const Planes input = tone(48000, 2, {0, 1});
    const Converted roomy = convertAll(*converter, input, 48000, converter->maxOutputFrames(48000));
    converter->reset();
    EXPECT_EQ(convertAll(*converter, input, 1000, 300).planes, roomy.planes);
}

TEST(FormatConverter, RefusesUnusableSourceFormats) {
    for (const AudioFormat& format :
         {AudioFormat{0.0, 2}, AudioFormat{std::numeric_limits<double>::quiet_NaN(), 2},
          AudioFormat{44100.5, 2}, AudioFormat{44100.0, 0},
          AudioFormat{44100.0, AudioFormat::maxChannels + 1}}) {
        std::string error;
        EXPECT_EQ(FormatConverter::create(format, &error), nullptr)
            << format.sampleRate << " " << format.channelCount;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
