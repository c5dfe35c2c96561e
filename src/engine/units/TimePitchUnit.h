#pragma once

#include "graph/AudioNode.h"
#include "util/AtomicParameter.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace quelmo::engine {

// Changes playback rate and pitch independently, on Rubber Band's real-time stretcher: rate is a
// speed factor (2 plays twice as fast, in half the time; 0.25..4) and pitch is in cents
// (-2400..2400). At rate 1 and pitch 0 the unit is bypassed exactly: it passes its input through
// untouched and at the engine's own timing (a time-only unit, once started, stretches on instead).
//
// The render thread never allocates here. The stretcher is made on the main thread and driven once
// through the extremes of both ranges, so every buffer it grows lazily has its largest size before
// the render thread first uses it. Its pitch resampler builds a table per ratio, sized by the ratio's numerator;
// pitch therefore reaches it as a ratio n / 4096 (steps under 2 cents), whose tables the warm-up has
// already made room for. The allocation test retunes over both whole ranges to hold this.
//
// When the unit leaves bypass, the stretcher is reset and primed with its preferred start padding,
// and its start delay is dropped, so the first output frame lines up with the first input frame.
// While active, the unit pulls as many input frames as the stretcher asks for; nodes upstream then
// run on the unit's own input clock. Once its input has been silent for longer than the
// stretcher's latency and tail, the unit rests: it reports silence without processing, and primes
// again when sound returns.
class TimePitchUnit : public AudioNode {
public:
    // later: the caller runs warmUp() itself, on a worker say, and may attach the unit at once: until
    // the warm-up has finished, the unit passes its input through as if bypassed (rate and pitch
    // take effect from the first block after it).
    enum class WarmUp { now, later };
    // timeOnly: the rate alone, pitch kept at 0 whatever is set. The stretcher then runs without
    // the resampler that keeps pitch changes smooth, at about half the cost: for synced tracks.
    enum class Use { timeAndPitch, timeOnly };
    explicit TimePitchUnit(WarmUp when = WarmUp::now, Use use = Use::timeAndPitch);
    ~TimePitchUnit() override;

    void setRate(float rate) { rate_.set(rate); }
    float rate() const { return rate_.get(); }
    void setPitch(float cents) { pitch_.set(cents); }
    float pitch() const { return pitch_.get(); }

    static constexpr double minRate = 0.25;
    static constexpr double maxRate = 4.0;
    static constexpr double maxCents = 2400.0;

    // Drives the stretcher through the extremes of both ranges (see above). Takes about half a
    // second on any one thread, once; the render thread leaves the stretcher alone meanwhile. Any
    // thread but the render thread; a second call waits for the first and returns.
    void warmUp();
    bool isWarm() const { return warm_.load(std::memory_order_acquire); }

    // Main thread. A sound booked upstream to begin on engine sample `sample` (the unit at rest then,
    // so its input runs on the engine's clock): its first frame comes out on that very sample, not
    // on the start of the block it falls in, so a stretched loop keeps the beat it was booked on.
    void startAt(std::int64_t sample) { bookedStart_.store(sample, std::memory_order_release); }
    // Main thread. What the stretcher holds is dropped at the next block and the unit rests: the
    // source upstream was stopped and what follows is a new start, on the engine's clock again.
    void rest() { restRequested_.store(true, std::memory_order_release); }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    void applyRatios(double rate, double cents);
    // How much later than its input the stretcher lets an attack out, beyond its start delay.
    double lagFrames(double rate) const;
    void start(double rate, double cents, std::int64_t inputClock);
    void prime();

    AtomicParameter rate_{1.0f};
    AtomicParameter pitch_{0.0f};
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::atomic<bool> warm_{false}; // set once warmUp() is done with the stretcher
    Use use_;
    std::mutex warmingUp_;          // never taken by the render thread
    std::atomic<std::int64_t> bookedStart_{-1};
    std::atomic<bool> restRequested_{false};
    std::vector<float> scratch_[2];
    bool active_ = false;  // the stretcher holds this unit's recent input
    bool resting_ = false; // active, but rung out after silence: nothing to process
    double appliedRate_ = 1.0;
    double targetRate_ = 1.0;  // the rate asked for; the applied one differs while a change is repaid
    double debt_ = 0.0;        // input frames to take back from the rate
    double debtLeft_ = 0.0;    // output frames to take them back over
    double appliedCents_ = 0.0;
    std::size_t toDiscard_ = 0;
    std::size_t toPad_ = 0; // silence played before the stretcher's first output, when it lets sound out early
    std::int64_t inputClock_ = 0;
    std::uint64_t silentInput_ = 0; // input frames fed in a row that were silent
    std::uint64_t restAfter_ = 0;   // silent input after which every output frame has come out
};

} // namespace quelmo::engine
