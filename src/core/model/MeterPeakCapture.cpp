#include "model/MeterPeakCapture.h"

namespace quelmo {

void MeterPeakCapture::raise(std::atomic<float>& peak, float p) {
    float seen = peak.load(std::memory_order_relaxed);
    while (p > seen && !peak.compare_exchange_weak(seen, p, std::memory_order_relaxed)) {
    }
}

MeterPeakCapture::Peaks MeterPeakCapture::drain() {
    return {pads_.exchange(0.0f, std::memory_order_relaxed), imp_.exchange(0.0f, std::memory_order_relaxed),
            main_.exchange(0.0f, std::memory_order_relaxed), voice_.exchange(0.0f, std::memory_order_relaxed)};
}

} // namespace quelmo
