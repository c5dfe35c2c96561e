#include "engine/AudioBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using quelmo::engine::AudioBuffer;
using quelmo::engine::AudioFormat;

TEST(AudioFormat, StandardRejectsUnusableRatesAndChannelCounts) {
    EXPECT_TRUE(AudioFormat::standard(44100.0, 2).has_value());
    EXPECT_TRUE(AudioFormat::standard(48000.0, 1).has_value());
    EXPECT_FALSE(AudioFormat::standard(0.0, 2).has_value());
    EXPECT_FALSE(AudioFormat::standard(-44100.0, 2).has_value());
    EXPECT_FALSE(AudioFormat::standard(std::numeric_limits<double>::quiet_NaN(), 2).has_value());
    EXPECT_FALSE(AudioFormat::standard(44100.0, 0).has_value());
    EXPECT_FALSE(AudioFormat::standard(44100.0, AudioFormat::maxChannels + 1).has_value());
}

TEST(AudioBuffer, ChannelsAreSeparateArraysAndLengthStaysWithinCapacity) {
    auto buffer = AudioBuffer::create(*AudioFormat::standard(44100.0, 2), 64);
    EXPECT_EQ(buffer->frameLength(), 0u);
    EXPECT_TRUE(buffer->channel(0).empty());

    buffer->setFrameLength(1000);
    EXPECT_EQ(buffer->frameLength(), 64u);

    auto left = buffer->channel(0);
    auto right = buffer->channel(1);
    ASSERT_EQ(left.size(), 64u);
    ASSERT_EQ(right.size(), 64u);
    for (float s : left) {
        EXPECT_EQ(s, 0.0f);
    }
    left[63] = 1.0f;
    right[0] = -1.0f;
    EXPECT_EQ(buffer->channel(0)[0], 0.0f);
    EXPECT_EQ(buffer->channel(1)[63], 0.0f);
    EXPECT_TRUE(buffer->channel(2).empty());
}
