#include "tracks/TrackMeasurer.h"

#include "engine/AudioBuffer.h"
#include "tracks/TempoDetector.h"
#include "tracks/TruePeakMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

namespace quelmo {

struct TrackMeasurer::Detectors {
    explicit Detectors(double sampleRate) : tempo(sampleRate) {}
    TempoDetector tempo;
    ebur128_state* loudness = nullptr;
    std::vector<TruePeakMeter> peaks;

    ~Detectors() {
        if (loudness) {
            ebur128_destroy(&loudness);
        }
    }
};

TrackMeasurer::TrackMeasurer(double sampleRate, std::uint32_t channelCount, std::int64_t expectedFrames)
    : detectors_(std::make_unique<Detectors>(sampleRate)), channels_(channelCount) {
    detectors_->tempo.reserve(expectedFrames);
    detectors_->peaks.resize(channelCount);
    detectors_->loudness = ebur128_init(channelCount, static_cast<unsigned long>(std::lround(sampleRate)),
                                        EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
}

TrackMeasurer::~TrackMeasurer() = default;

void TrackMeasurer::add(const engine::AudioBuffer& buffer) {
    const std::uint32_t frames = buffer.frameLength();
    if (frames == 0) {
        return;
    }
    if (detectors_->loudness) {
        interleaved_.resize(static_cast<std::size_t>(frames) * channels_);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            const auto samples = buffer.channel(c);
            for (std::uint32_t f = 0; f < frames; ++f) {
                interleaved_[static_cast<std::size_t>(f) * channels_ + c] = samples[f];
            }
        }
        ebur128_add_frames_float(detectors_->loudness, interleaved_.data(), frames);
    }
    for (std::uint32_t c = 0; c < channels_; ++c) {
        detectors_->peaks[c].add(buffer.channel(c).first(frames));
    }
    mono_.assign(frames, 0.0f);
    const float scale = 1.0f / static_cast<float>(channels_);
    for (std::uint32_t c = 0; c < channels_; ++c) {
        const auto samples = buffer.channel(c);
        for (std::uint32_t f = 0; f < frames; ++f) {
            mono_[f] += samples[f] * scale;
        }
    }
    detectors_->tempo.add(mono_);
}

double autoGainDb(const TrackMeasures& measures) {
    if (!measures.loudness) {
        return 0.0;
    }
    double gain = std::min(autoGainTarget - *measures.loudness, autoGainMaxBoost);
    if (measures.truePeak > 0.0) {
        gain = std::min(gain, autoGainPeakCeiling - 20.0 * std::log10(measures.truePeak));
    }
    return gain;
}

TrackMeasures TrackMeasurer::finish() {
    TrackMeasures measures;
    if (auto fitted = detectors_->tempo.finish()) {
        measures.grid = fitted->grid;
        measures.tempoConfidence = fitted->confidence;
    }
    if (detectors_->loudness) {
        double lufs = 0.0;
        if (ebur128_loudness_global(detectors_->loudness, &lufs) == EBUR128_SUCCESS && std::isfinite(lufs)) {
            measures.loudness = lufs;
        }
    }
    for (const auto& meter : detectors_->peaks) {
        measures.truePeak = std::max(measures.truePeak, meter.truePeak());
    }
    return measures;
}

} // namespace quelmo
