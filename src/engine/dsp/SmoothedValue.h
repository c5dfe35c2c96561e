#pragma once

#include <cmath>

namespace quelmo::engine {

// Per-sample one-pole glide toward a target, so a jump in a gain or a mix does not click. Because
// it steps per sample, the output does not depend on how a render is split into blocks. Once within
// a hair of the target it lands exactly on it, so a steady unity gain stays bit-exact.
class SmoothedValue {
public:
    // timeConstantSeconds: time to cover about 63 % of a jump.
    explicit SmoothedValue(float initial = 0.0f, double timeConstantSeconds = 0.005, double sampleRate = 44100.0)
        : current_(initial), target_(initial), coefficient_(1.0 - std::exp(-1.0 / (timeConstantSeconds * sampleRate))) {}

    void setTarget(float target) { target_ = target; }
    void snapTo(float value) { current_ = target_ = value; }
    float target() const { return static_cast<float>(target_); }
    float current() const { return static_cast<float>(current_); }
    bool isSmoothing() const { return current_ != target_; }

    float next() {
        if (current_ != target_) {
            current_ += (target_ - current_) * coefficient_;
            if (std::fabs(target_ - current_) < 1.0e-7) {
                current_ = target_;
            }
        }
        return static_cast<float>(current_);
    }

private:
    // Double precision, so the last steps of a glide do not vanish below float resolution.
    double current_;
    double target_;
    double coefficient_;
};

} // namespace quelmo::engine
