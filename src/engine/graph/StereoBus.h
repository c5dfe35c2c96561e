#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quelmo::engine {

// Two channels of float samples with a fixed capacity; a node's output between pulls.
class StereoBus {
public:
    explicit StereoBus(std::uint32_t capacity) : left_(capacity, 0.0f), right_(capacity, 0.0f) {}

    std::uint32_t capacity() const { return static_cast<std::uint32_t>(left_.size()); }
    float* channel(int index) { return index == 0 ? left_.data() : right_.data(); }
    const float* channel(int index) const { return index == 0 ? left_.data() : right_.data(); }
    // Set by a node that knows every frame of this pull is zero, so that what it feeds can skip work.
    bool silent = false;

    void clear(std::uint32_t frames) {
        std::fill_n(left_.data(), frames, 0.0f);
        std::fill_n(right_.data(), frames, 0.0f);
    }

    void copyFrom(const StereoBus& other, std::uint32_t frames) {
        std::copy_n(other.left_.data(), frames, left_.data());
        std::copy_n(other.right_.data(), frames, right_.data());
    }

private:
    std::vector<float> left_;
    std::vector<float> right_;
};

// What a node learns about the pull it is rendering.
struct RenderContext {
    // Timeline position of the first frame of this pull: the engine's frame count for nodes on the
    // main path, the unit's own input clock for nodes upstream of a time-pitch unit.
    std::int64_t sampleTime = 0;
};

} // namespace quelmo::engine
