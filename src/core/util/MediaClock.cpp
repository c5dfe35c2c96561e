#include "util/MediaClock.h"

#include <chrono>

namespace quelmo {
namespace {
class SteadyMediaClock final : public MediaClock {
public:
    double now() const override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
};
} // namespace

std::shared_ptr<MediaClock> systemMediaClock() {
    static const auto clock = std::make_shared<SteadyMediaClock>();
    return clock;
}

} // namespace quelmo
