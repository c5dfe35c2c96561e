#include "timing/PulseClock.h"

#include "engine/AudioEngine.h"

#include <algorithm>
#include <chrono>

namespace quelmo {

PulseClock::PulseClock(std::shared_ptr<DelayScheduler> scheduler, std::shared_ptr<MediaClock> clock,
                       const engine::AudioEngine* audio)
    : scheduler_(std::move(scheduler)), clock_(std::move(clock)), audio_(audio) {}

void PulseClock::start(const transport::BeatGrid& grid, std::int64_t firstEvent, Fire fire) {
    stop();
    grid_ = grid;
    next_ = firstEvent;
    fire_ = std::move(fire);
    arm();
}

void PulseClock::stop() {
    ++generation_;
    if (task_) {
        task_->cancel();
        task_.reset();
    }
}

double PulseClock::secondsUntil(std::int64_t event) const {
    if (audio_ && audio_->isRunning()) {
        return static_cast<double>(grid_.sampleOf(event) - audio_->sampleTime()) / grid_.sampleRate;
    }
    return grid_.secondsOf(event) - clock_->now();
}

void PulseClock::arm() {
    // Never wait longer than two intervals: a timeline that stalls (a sound server that stopped
    // asking for audio) slows the clock down but does not stop it.
    const double wait = std::clamp(secondsUntil(next_), 0.0, 2.0 * grid_.intervalSeconds);
    const std::uint64_t generation = generation_;
    task_ = scheduler_->schedule(std::chrono::nanoseconds(static_cast<std::int64_t>(wait * 1e9)), [this, generation] {
        if (generation != generation_) {
            return;
        }
        const std::int64_t event = next_++;
        const Fire fire = fire_; // fire may restart the clock, replacing fire_
        fire(event);
        if (generation == generation_) {
            arm();
        }
    });
}

} // namespace quelmo
