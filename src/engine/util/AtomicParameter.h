#pragma once

#include <atomic>

namespace quelmo::engine {

// A parameter written by the main thread and read by the render thread at the start of a block.
// Relaxed ordering is enough: each value stands alone, and a block that sees the old value simply
// applies the new one a block later.
class AtomicParameter {
public:
    explicit AtomicParameter(float initial = 0.0f) : value_(initial) {}
    void set(float value) { value_.store(value, std::memory_order_relaxed); }
    float get() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<float> value_;
};

} // namespace quelmo::engine
