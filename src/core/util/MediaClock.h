#pragma once

#include <memory>

namespace quelmo {

// Monotonic seconds since an arbitrary origin: the host media time the transport and the track
// positions are measured on. Injected so tests can move time by hand. Main thread.
class MediaClock {
public:
    virtual ~MediaClock() = default;
    virtual double now() const = 0;
};

// steady_clock in seconds; shared by every controller that is not given its own clock.
std::shared_ptr<MediaClock> systemMediaClock();

// steady_clock in seconds, the same time systemMediaClock() reads. Any thread, the render thread
// included: it neither locks nor allocates.
double steadySeconds();

} // namespace quelmo
