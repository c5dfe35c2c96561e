#include "util/MediaClock.h"

#include <chrono>

namespace quelmo {
namespace {
class SteadyMediaClock final : public MediaClock {
public:
    double now() const override { return steadySeconds(); }
};
} // namespace

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::shared_ptr<MediaClock> systemMediaClock() {
    static const auto* clock = new std::shared_ptr<MediaClock>(std::make_shared<SteadyMediaClock>());
    return *clock; // never destroyed: clocks are read until the process ends
}

} // namespace quelmo
