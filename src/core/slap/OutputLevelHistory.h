#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quelmo::slap {

// The loudness of the deck's recent output, chunk by chunk, with the time each reaches the
// speakers: the render thread records, the lid-tap detector's capture thread asks how loud the deck
// has been lately, so that the deck's own sound coming back through the microphone is not taken for
// a tap. The level is a chunk's peak: any stretch of that sound heard again is at most as loud in
// rms, however the microphone's blocks fall. Lock-free and allocation-free; one writer, any number
// of readers. A reader racing the writer may pair one chunk's time with a neighbour's level, which
// only shifts the answer by a chunk.
class OutputLevelHistory {
public:
    // 5.8 ms chunks; the history holds about six seconds of them, room for the echo window behind
    // the longest output latency.
    static constexpr std::uint32_t chunkFrames = 256;
    static constexpr std::size_t capacity = 1024;

    // Render thread. time: when the chunk reaches the speakers.
    void record(double time, float level) {
        const std::size_t slot = next_.load(std::memory_order_relaxed);
        levels_[slot].store(level, std::memory_order_relaxed);
        times_[slot].store(time, std::memory_order_release);
        next_.store((slot + 1) % capacity, std::memory_order_relaxed);
    }

    // Any thread. The loudest chunk heard from `since` to `until`; 0 when there is none. A chunk
    // still in the output's buffer has not been heard yet.
    float loudestBetween(double since, double until) const {
        float loudest = 0.0f;
        for (std::size_t i = 0; i < capacity; ++i) {
            if (const double time = times_[i].load(std::memory_order_acquire); time >= since && time <= until) {
                loudest = std::max(loudest, levels_[i].load(std::memory_order_relaxed));
            }
        }
        return loudest;
    }

private:
    std::array<std::atomic<double>, capacity> times_{};
    std::array<std::atomic<float>, capacity> levels_{};
    std::atomic<std::size_t> next_{0};
};

} // namespace quelmo::slap
