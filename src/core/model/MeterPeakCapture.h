#pragma once

#include <atomic>

namespace quelmo {

// The four bus peaks seen since the last drain. The render thread notes peaks from the meter taps;
// the main thread drains them on its meter tick. Lock-free on both sides: the render thread raises
// each peak with a compare-and-swap, the main thread takes it with an exchange, so neither can
// ever wait for the other.
class MeterPeakCapture {
public:
    struct Peaks {
        float pads = 0.0f;
        float imp = 0.0f;
        float main = 0.0f;
        float voice = 0.0f;
    };

    // Render thread: field = max(field, p).
    void notePads(float p) { raise(pads_, p); }
    void noteImport(float p) { raise(imp_, p); }
    void noteMain(float p) { raise(main_, p); }
    void noteVoice(float p) { raise(voice_, p); }

    // Main thread: returns the four peaks and resets them to 0.
    Peaks drain();

private:
    static void raise(std::atomic<float>& peak, float p);
    std::atomic<float> pads_{0.0f};
    std::atomic<float> imp_{0.0f};
    std::atomic<float> main_{0.0f};
    std::atomic<float> voice_{0.0f};
    static_assert(std::atomic<float>::is_always_lock_free);
};

} // namespace quelmo
