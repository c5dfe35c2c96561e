#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>

namespace quelmo::slap {

// The loudness of the deck's recent output blocks, with the time each was rendered: the render
// thread records, the lid-tap detector's capture thread asks how loud the deck has been lately, so
// that the deck's own sound coming back through the microphone is not taken for a tap. Lock-free
// and allocation-free; one writer, any number of readers. A reader racing the writer may pair one
// block's time with a neighbour's level, which only shifts the answer by a block.
class OutputLevelHistory {
public:
    static constexpr std::size_t capacity = 256;

    // Render thread. time: when the block reaches the speakers.
    void record(double time, float rms) {
        const std::size_t slot = next_.load(std::memory_order_relaxed);
        levels_[slot].store(rms, std::memory_order_relaxed);
        times_[slot].store(time, std::memory_order_release);
        next_.store((slot + 1) % capacity, std::memory_order_relaxed);
    }

    // Any thread. The loudest block heard from `since` to `until`; 0 when there is none. A block
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
