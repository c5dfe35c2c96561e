#pragma once

#include "timing/TransportMath.h"
#include "util/DelayScheduler.h"
#include "util/MediaClock.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quelmo {

namespace engine {
class AudioEngine;
}

// A main-thread clock that fires once for each event of a BeatGrid, when that event's time comes.
// Given an engine, it follows the engine's sample timeline while the engine renders, so it keeps
// step with sounds booked on that timeline however far the sound card's clock wanders from the
// system's; otherwise, and without an engine, it follows the media clock. Events are never
// skipped: a clock held up (a busy main thread) catches up at once, in order.
class PulseClock {
public:
    using Fire = std::function<void(std::int64_t event)>;

    PulseClock(std::shared_ptr<DelayScheduler> scheduler, std::shared_ptr<MediaClock> clock,
               const engine::AudioEngine* audio = nullptr);

    // Fires firstEvent, firstEvent + 1, ... of grid until stopped. fire may stop or restart the clock.
    void start(const transport::BeatGrid& grid, std::int64_t firstEvent, Fire fire);
    void stop();
    bool isRunning() const { return static_cast<bool>(task_); }
    const transport::BeatGrid& grid() const { return grid_; }
    // The event the clock fires next.
    std::int64_t nextEvent() const { return next_; }

private:
    void arm();
    double secondsUntil(std::int64_t event) const;

    std::shared_ptr<DelayScheduler> scheduler_;
    std::shared_ptr<MediaClock> clock_;
    const engine::AudioEngine* audio_;
    transport::BeatGrid grid_;
    std::int64_t next_ = 0;
    Fire fire_;
    std::unique_ptr<DelayScheduler::Task> task_;
    std::uint64_t generation_ = 0;
};

} // namespace quelmo
