#include "units/TimePitchUnit.h"

#include "AudioEngine.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>

namespace quelmo::engine {
namespace {
constexpr std::size_t scratchFrames = AudioNode::maxFramesPerPull;
constexpr int maxFeedRounds = 64;
// Pitch reaches the stretcher's resampler as the ratio n / resamplerDenominator.
constexpr double resamplerDenominator = 4096.0;
// Beyond the start delay it reports, the stretcher (its faster engine, at 44.1 kHz) lets a sound's
// attack out later the faster it plays: measured on stretched click tracks (3 ms bursts, their
// starts found on their band's envelope) from rate 0.7 to 1.5, the lag in output frames is close to
// 461 - 339 / rate, from -23 at 0.7 to 235 at 1.5, within the hop's own spread (about 2 ms either
// way). The unit drops that many frames at start, or plays that much silence first when it is
// negative; outside the measured range it keeps the nearest end's figure.
double energyLagFrames(double rate) { return 461.0 - 339.0 / std::clamp(rate, 0.7, 1.5); }
// Without the pitch resampler, measured the same way: close to 374 - 375 / rate, from -162 at 0.7
// to 124 at 1.5 (within 7 frames at the seven rates measured).
double timeOnlyLagFrames(double rate) { return 374.0 - 375.0 / std::clamp(rate, 0.7, 1.5); }
// A new rate reaches the output only after what the stretcher has analysed at the old one has come
// out: about 1024 output frames (measured on a click track taken from 128 to 100 BPM, whose beats
// then ran 6.5 ms early for good). The unit keeps the position a rate change at once would give:
// the frames gained or lost meanwhile are paid back over the next repayFrames, a few percent of rate.
constexpr double rateLagFrames = 1024.0;
// Whichever way the rate moves, the stretcher with its pitch resampler then lets the sound out
// about 77 output frames early for good (measured from 128 to 100 BPM and back on a synced click
// track); without the resampler it does not, and stays within a millisecond of its place after 27
// one-BPM steps 50 ms apart (a slider dragged).
constexpr double rateChangeEarlyFrames = 77.0;
constexpr double repayFrames = 8192.0;

double quantisedPitchScale(double cents) {
    const double scale = std::pow(2.0, cents / 1200.0);
    return resamplerDenominator / std::round(resamplerDenominator / scale);
}
} // namespace

TimePitchUnit::TimePitchUnit(WarmUp when, Use use) : AudioNode(1), use_(use) {
    using RB = RubberBand::RubberBandStretcher;
    RB::setDefaultDebugLevel(0);
    RB::Options options = RB::OptionProcessRealTime | RB::OptionThreadingNever | RB::OptionEngineFaster;
    if (use == Use::timeAndPitch) {
        options |= RB::OptionPitchHighConsistency;
    }
    stretcher_ = std::make_unique<RB>(static_cast<std::size_t>(AudioEngine::sampleRate), 2, options, 1.0, 1.0);
    stretcher_->setMaxProcessSize(maxFramesPerPull);
    scratch_[0].assign(scratchFrames, 0.0f);
    scratch_[1].assign(scratchFrames, 0.0f);
    if (when == WarmUp::now) {
        warmUp();
    }
}

TimePitchUnit::~TimePitchUnit() = default;

void TimePitchUnit::warmUp() {
    const std::lock_guard<std::mutex> lock(warmingUp_);
    if (warm_.load(std::memory_order_acquire)) {
        return;
    }
    // The resampler keeps two tables (the ratio and the one it fades from) and grows each to the
    // largest ratio numerator it has met; its buffers grow with the lowest ratio. Two neighbouring
    // odd numerators at the top of the range size both tables, the lowest ratio the buffers, and
    // the rate extremes the stretcher's own buffers.
    const double top = maxCents;
    const double lowest = resamplerDenominator / std::round(resamplerDenominator / std::pow(2.0, top / 1200.0));
    const double widest = resamplerDenominator / (resamplerDenominator * std::pow(2.0, top / 1200.0) - 1.0);
    const double nextWidest = resamplerDenominator / (resamplerDenominator * std::pow(2.0, top / 1200.0) - 3.0);
    const std::vector<double> scales = use_ == Use::timeOnly ? std::vector<double>{1.0}
                                                             : std::vector<double>{lowest, 1.0 / widest, 1.0 / nextWidest, 1.0 / widest, 1.25};
    float* sink[2] = {scratch_[0].data(), scratch_[1].data()};
    for (const double rate : {minRate, maxRate, 1.25}) {
        for (const double scale : scales) {
            stretcher_->setTimeRatio(1.0 / rate);
            stretcher_->setPitchScale(scale);
            prime();
            const float* zeros[2] = {scratch_[0].data(), scratch_[1].data()};
            for (int round = 0; round < 4; ++round) {
                const std::size_t n = std::min(stretcher_->getSamplesRequired() + 1024, scratchFrames);
                std::fill(scratch_[0].begin(), scratch_[0].end(), 0.0f);
                std::fill(scratch_[1].begin(), scratch_[1].end(), 0.0f);
                stretcher_->process(zeros, n, false);
                while (stretcher_->available() > 0) {
                    stretcher_->retrieve(sink, std::min<std::size_t>(stretcher_->available(), scratchFrames));
                }
            }
        }
    }
    stretcher_->reset();
    warm_.store(true, std::memory_order_release);
}

double TimePitchUnit::lagFrames(double rate) const {
    return use_ == Use::timeOnly ? timeOnlyLagFrames(rate) : energyLagFrames(rate);
}

void TimePitchUnit::applyRatios(double rate, double cents) {
    stretcher_->setTimeRatio(1.0 / rate);
    stretcher_->setPitchScale(quantisedPitchScale(cents));
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

void TimePitchUnit::start(double rate, double cents, std::int64_t inputClock) {
    stretcher_->reset();
    applyRatios(rate, cents);
    targetRate_ = rate;
    debt_ = 0.0;
    debtLeft_ = 0.0;
    prime();
    const auto lag = static_cast<std::int64_t>(std::lround(lagFrames(rate)));
    if (lag >= 0) {
        toDiscard_ += static_cast<std::size_t>(lag);
        toPad_ = 0;
    } else {
        toPad_ = static_cast<std::size_t>(-lag);
    }
    inputClock_ = inputClock;
    silentInput_ = 0;
    // Input frames still inside the stretcher when the input falls silent: its padding and delay,
    // stretched by the rate, plus one whole feed for the frames it holds back between calls.
    restAfter_ = static_cast<std::uint64_t>(
        static_cast<double>(stretcher_->getPreferredStartPad() + toDiscard_) * std::max(1.0, rate) + maxFramesPerPull);
    active_ = true;
    resting_ = false;
}

void TimePitchUnit::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const double rate = std::clamp(static_cast<double>(rate_.get()), minRate, maxRate);
    const double cents = use_ == Use::timeOnly ? 0.0 : std::clamp(static_cast<double>(pitch_.get()), -maxCents, maxCents);
    // A time-only unit keeps stretching at rate 1 (a synced track at its own tempo, or a tempo
    // dragged through it): it runs on its own input clock, which a bypass would swap for the
    // engine's, moving the sound by all the stretch has gained or lost.
    const bool unchanged = rate == 1.0 && cents == 0.0 && use_ == Use::timeAndPitch;
    if (unchanged || !warm_.load(std::memory_order_acquire)) {
        active_ = false;
        const StereoBus& in = pullInput(0, context, frames);
        out.copyFrom(in, frames);
        out.silent = in.silent;
        return;
    }
    if (restRequested_.load(std::memory_order_relaxed) && restRequested_.exchange(false, std::memory_order_acquire)) {
        resting_ = true;
    }
    std::uint32_t produced = 0;
    if (!active_ || resting_) {
        // At rest, the input runs on the engine's clock until it sounds again.
        // A start booked in a later block waits for it, whatever the input holds meanwhile (a
        // player waiting for its booked sound may still report zeros as sound).
        const StereoBus& in = pullInput(0, context, frames);
        const std::int64_t booked = bookedStart_.load(std::memory_order_acquire);
        const std::int64_t into = booked - context.sampleTime;
        if (in.silent || into >= static_cast<std::int64_t>(frames)) {
            out.clear(frames);
            out.silent = true;
            return;
        }
        // A booked start inside this block lines up with its own frame; any other with the block's.
        const auto offset = static_cast<std::uint32_t>(into > 0 ? into : 0);
        start(rate, cents, context.sampleTime + frames);
        const float* firstInput[2] = {in.channel(0) + offset, in.channel(1) + offset};
        stretcher_->process(firstInput, frames - offset, false);
        std::fill(out.channel(0), out.channel(0) + offset, 0.0f);
        std::fill(out.channel(1), out.channel(1) + offset, 0.0f);
        produced = offset;
    } else {
        if (rate != targetRate_) {
            debt_ += rateLagFrames * (targetRate_ - rate); // input frames the old rate runs ahead
            // and the attacks' lag changes with the rate: a shorter one lets the sound out early
            debt_ -= (lagFrames(rate) - lagFrames(targetRate_)) * rate;
            debt_ += (use_ == Use::timeOnly ? 0.0 : rateChangeEarlyFrames) * rate;
            debtLeft_ = repayFrames;
            targetRate_ = rate;
        }
        double effective = targetRate_;
        if (debtLeft_ > 0.0) {
            const double perFrame = debt_ / debtLeft_;
            effective = std::clamp(targetRate_ - perFrame, minRate, maxRate);
            const double n = std::min(static_cast<double>(frames), debtLeft_);
            debt_ -= perFrame * n;
            debtLeft_ -= n;
        }
        if (effective != appliedRate_ || cents != appliedCents_) {
            applyRatios(effective, cents);
        }
    }

    if (toPad_ > 0) {
        const std::size_t n = std::min(toPad_, std::size_t{frames - produced});
        std::fill(out.channel(0) + produced, out.channel(0) + produced + n, 0.0f);
        std::fill(out.channel(1) + produced, out.channel(1) + produced + n, 0.0f);
        produced += static_cast<std::uint32_t>(n);
        toPad_ -= n;
    }
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
        silentInput_ = in.silent ? silentInput_ + needed : 0;
        const float* input[2] = {in.channel(0), in.channel(1)};
        stretcher_->process(input, needed, false);
    }
    if (produced < frames) {
        std::fill(out.channel(0) + produced, out.channel(0) + frames, 0.0f);
        std::fill(out.channel(1) + produced, out.channel(1) + frames, 0.0f);
    }
    if (silentInput_ >= restAfter_) {
        resting_ = true; // what it held has come out; from the next block on it reports silence
    }
}

} // namespace quelmo::engine
