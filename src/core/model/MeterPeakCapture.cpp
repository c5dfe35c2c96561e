#include "model/MeterPeakCapture.h"

#include <algorithm>

namespace quelmo {

void MeterPeakCapture::note(float Peaks::*field, float p) {
    std::lock_guard guard(lock_);
    peaks_.*field = std::max(peaks_.*field, p);
}

void MeterPeakCapture::notePads(float p) { note(&Peaks::pads, p); }
void MeterPeakCapture::noteImport(float p) { note(&Peaks::imp, p); }
void MeterPeakCapture::noteMain(float p) { note(&Peaks::main, p); }
void MeterPeakCapture::noteVoice(float p) { note(&Peaks::voice, p); }

MeterPeakCapture::Peaks MeterPeakCapture::drain() {
    std::lock_guard guard(lock_);
    const Peaks out = peaks_;
    peaks_ = Peaks{};
    return out;
}

} // namespace quelmo
