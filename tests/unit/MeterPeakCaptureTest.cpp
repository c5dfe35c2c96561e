#include "model/MeterPeakCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using quelmo::MeterPeakCapture;

TEST(MeterPeakCapture, KeepsTheLargestPeakPerBusUntilDrained) {
    MeterPeakCapture capture;
    capture.notePads(0.3f);
    capture.notePads(0.7f);
    capture.notePads(0.5f);
    capture.noteImport(0.2f);
    capture.noteMain(0.9f);
    capture.noteVoice(0.1f);

    const auto first = capture.drain();
    EXPECT_EQ(first.pads, 0.7f);
    EXPECT_EQ(first.imp, 0.2f);
    EXPECT_EQ(first.main, 0.9f);
    EXPECT_EQ(first.voice, 0.1f);

    const auto second = capture.drain();
    EXPECT_EQ(second.pads, 0.0f);
    EXPECT_EQ(second.main, 0.0f);
}

TEST(MeterPeakCapture, NoPeakIsLostBetweenAWriterThreadAndDrains) {
    MeterPeakCapture capture;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 1; i <= 20000; ++i) {
            capture.noteMain(static_cast<float>(i) / 20000.0f);
        }
        done = true;
    });
    float largest = 0.0f;
    while (!done) {
        largest = std::max(largest, capture.drain().main);
    }
    writer.join();
    largest = std::max(largest, capture.drain().main);
    EXPECT_EQ(largest, 1.0f);
}
