#include "units/TimePitchUnit.h"

#include "AudioEngine.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace quelmo::engine {
namespace {
constexpr std::size_t scratchFrames = AudioNode::maxFramesPerPull;
constexpr int maxFeedRounds = 64;
} // namespace

TimePitchUnit::TimePitchUnit() : AudioNode(1) {
    using RB = RubberBand::RubberBandStretcher;
    RB::setDefaultDebugLevel(0);
    stretcher_ = std::make_unique<RB>(static_cast<std::size_t>(AudioEngine::sampleRate), 2,
                                      RB::OptionProcessRealTime | RB::OptionThreadingNever |
                                          RB::OptionEngineFaster | RB::OptionPitchHighConsistency,
                                      1.0, 1.0);
    stretcher_->setMaxProcessSize(maxFramesPerPull);
    scratch_[0].assign(scratchFrames, 0.0f);
    scratch_[1].assign(scratchFrames, 0.0f);
    // Exercise the stretcher once here so that every buffer it grows on first use exists before
    // the render thread touches it.
    applyRatios(1.25, 300.0);
    prime();
    stretcher_->reset();
}

TimePitchUnit::~TimePitchUnit() = default;

void TimePitchUnit::applyRatios(double rate, double cents) {
    stretcher_->setTimeRatio(1.0 / rate);
    stretcher_->setPitchScale(std::pow(2.0, cents / 1200.0));
    appliedRate_ = rate;
    appliedCents_ = cents;
}

void TimePitchUnit::prime() {
    std::fill(scratch_[0].begin(), scratch_[0].end(), 0.0f);
    std::fill(scratch_[1].begin(), scratch_[1].end(), 0.0f);
    const float* zeros[2] = {scratch_[0].data(), scratch_[1].data()};
    for (std::size_t pad = stretcher_->getPreferredStartPad(); pad > 0;) {
        const std::size_t n = std::min(pad, scratchFrames);
        stretcher_->process(zeros, n, false);
        pad -= n;
    }
    toDiscard_ = stretcher_->getStartDelay();
}

void TimePitchUnit::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const double rate = std::clamp(static_cast<double>(rate_.get()), 1.0 / 32.0, 32.0);
    const double cents = std::clamp(static_cast<double>(pitch_.get()), -2400.0, 2400.0);
    if (rate == 1.0 && cents == 0.0) {
        active_ = false;
        const StereoBus& in = pullInput(0, context, frames);
        out.copyFrom(in, frames);
        out.silent = in.silent;
        return;
    }
    if (!active_) {
        stretcher_->reset();
        applyRatios(rate, cents);
        prime();
        inputClock_ = context.sampleTime;
        active_ = true;
    } else if (rate != appliedRate_ || cents != appliedCents_) {
        applyRatios(rate, cents);
    }

    std::uint32_t produced = 0;
    for (int round = 0; produced < frames && round < maxFeedRounds; ++round) {
        const int available = stretcher_->available();
        if (available > 0) {
            if (toDiscard_ > 0) {
                const std::size_t n = std::min({static_cast<std::size_t>(available), toDiscard_, scratchFrames});
                float* sink[2] = {scratch_[0].data(), scratch_[1].data()};
                stretcher_->retrieve(sink, n);
                toDiscard_ -= n;
            } else {
                const std::size_t n = std::min(static_cast<std::size_t>(available), std::size_t{frames - produced});
                float* target[2] = {out.channel(0) + produced, out.channel(1) + produced};
                produced += static_cast<std::uint32_t>(stretcher_->retrieve(target, n));
            }
            continue;
        }
        std::size_t needed = stretcher_->getSamplesRequired();
        needed = std::clamp<std::size_t>(needed, 64, maxFramesPerPull);
        const StereoBus& in = pullInput(0, RenderContext{inputClock_}, static_cast<std::uint32_t>(needed));
        inputClock_ += static_cast<std::int64_t>(needed);
        const float* input[2] = {in.channel(0), in.channel(1)};
        stretcher_->process(input, needed, false);
    }
    if (produced < frames) {
        std::fill(out.channel(0) + produced, out.channel(0) + frames, 0.0f);
        std::fill(out.channel(1) + produced, out.channel(1) + frames, 0.0f);
    }
}

} // namespace quelmo::engine
