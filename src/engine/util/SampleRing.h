#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quelmo::engine {

// Single-producer single-consumer ring of stereo frames, stored deinterleaved. Allocated at
// construction; write and read never allocate, lock or block. Used between a decode worker or a
// capture callback (producer) and the render thread (consumer). Same ordering scheme as SpscQueue.
class SampleRing {
public:
    explicit SampleRing(std::size_t capacityFrames)
        : capacity_(capacityFrames + 1), left_(capacity_), right_(capacity_) {}

    SampleRing(const SampleRing&) = delete;
    SampleRing& operator=(const SampleRing&) = delete;

    std::size_t capacity() const { return capacity_ - 1; }

    // Producer. Frames that can be written now.
    std::size_t writable() const {
        const std::size_t w = write_.load(std::memory_order_relaxed);
        const std::size_t r = read_.load(std::memory_order_acquire);
        return (r + capacity_ - w - 1) % capacity_;
    }

    // Consumer. Frames that can be read now.
    std::size_t readable() const {
        const std::size_t r = read_.load(std::memory_order_relaxed);
        const std::size_t w = write_.load(std::memory_order_acquire);
        return (w + capacity_ - r) % capacity_;
    }

    // Producer. Writes up to frames frames; returns how many were written.
    std::size_t write(const float* left, const float* right, std::size_t frames) {
        const std::size_t n = std::min(frames, writable());
        std::size_t w = write_.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < n; ++i) {
            left_[w] = left[i];
            right_[w] = right[i];
            w = w + 1 == capacity_ ? 0 : w + 1;
        }
        write_.store(w, std::memory_order_release);
        return n;
    }

    // Consumer. Reads up to frames frames; returns how many were read.
    std::size_t read(float* left, float* right, std::size_t frames) {
        const std::size_t n = std::min(frames, readable());
        std::size_t r = read_.load(std::memory_order_relaxed);
        for (std::size_t i = 0; i < n; ++i) {
            left[i] = left_[r];
            right[i] = right_[r];
            r = r + 1 == capacity_ ? 0 : r + 1;
        }
        read_.store(r, std::memory_order_release);
        return n;
    }

    // Consumer. Discards up to frames frames; returns how many were discarded.
    std::size_t skip(std::size_t frames) {
        const std::size_t n = std::min(frames, readable());
        read_.store((read_.load(std::memory_order_relaxed) + n) % capacity_, std::memory_order_release);
        return n;
    }

private:
    std::size_t capacity_;
    std::vector<float> left_;
    std::vector<float> right_;
    alignas(64) std::atomic<std::size_t> read_{0};
    alignas(64) std::atomic<std::size_t> write_{0};
};

} // namespace quelmo::engine
