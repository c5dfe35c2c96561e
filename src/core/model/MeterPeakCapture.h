#pragma once

#include <mutex>

namespace quelmo {

// The four bus peaks seen since the last drain. The render thread notes peaks from the meter taps;
// the main thread drains them on its meter tick. The lock is held only for a few loads and stores.
class MeterPeakCapture {
public:
    struct Peaks {
        float pads = 0.0f;
        float imp = 0.0f;
        float main = 0.0f;
        float voice = 0.0f;
    };

    // Render thread: field = max(field, p).
    void notePads(float p);
    void noteImport(float p);
    void noteMain(float p);
    void noteVoice(float p);

    // Main thread: returns the four peaks and resets them to 0.
    Peaks drain();

private:
    void note(float Peaks::*field, float p);
    std::mutex lock_;
    Peaks peaks_;
};

} // namespace quelmo
