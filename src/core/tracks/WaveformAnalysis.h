#pragma once

#include "tracks/TrackMeasurer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quelmo {

// The overview of an audio file (see WaveformOverview) and what reading it found out.
struct WaveformAnalysis {
    std::vector<float> levels;
    std::int64_t frameCount = 0; // exact, as counted while decoding
    int sampleRate = 0;
    int passes = 0; // decodes of the file: 1, or 2 when the container misstated its length
    TrackMeasures measures; // tempo, beats and loudness, from the first decode

    double duration() const { return sampleRate > 0 ? static_cast<double>(frameCount) / sampleRate : 0.0; }
};

// Decodes `path` once from start to end, without holding it in memory, and computes its overview
// and its measures (tempo, beats, loudness);
// the step comes from the length the container states, and only when the exact count turns out to
// need another step is the file decoded a second time. Absent for an empty file or one of more than
// 2^32 - 1 frames; absent with "Waveform analysis failed: <path>: <reason>" logged when the file cannot be
// read. Worker thread: takes as long as decoding the file.
std::optional<WaveformAnalysis> analyzeWaveformFile(const std::string& path);

} // namespace quelmo
