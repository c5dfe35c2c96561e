#include "tracks/TrackMeasurer.h"

#include "engine/AudioBuffer.h"
#include "tracks/TempoDetector.h"
#include "tracks/TruePeakMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace quelmo {

namespace {

// What the caller hands the lanes at a time: channel c's frames at c * capacity. Large enough that
// the threads meet a few hundred times over a ten-minute track, not thousands.
constexpr std::uint32_t chunkFrames = 32768;

struct Chunk {
    std::vector<float> samples;
    std::uint32_t capacity = 0; // frames per channel
    std::uint32_t frames = 0;
    int pending = 0; // lanes yet to measure it; the caller refills it only at 0
};

} // namespace

struct TrackMeasurer::Detectors {
    Detectors(double sampleRate, std::uint32_t channelCount) : tempo(sampleRate), peaks(channelCount), channels(channelCount) {}

    enum Lane { loudnessLane, tempoLane, laneCount };

    // On the lane's own thread (or the caller's, when no thread could be started).
    void measure(Lane lane, const Chunk& chunk) {
        const std::uint32_t frames = chunk.frames;
        const auto channel = [&](std::uint32_t c) {
            return std::span(chunk.samples).subspan(static_cast<std::size_t>(c) * chunk.capacity, frames);
        };
        if (lane == loudnessLane) {
            if (loudness) {
                interleaved.resize(static_cast<std::size_t>(frames) * channels);
                for (std::uint32_t c = 0; c < channels; ++c) {
                    const auto from = channel(c);
                    for (std::uint32_t f = 0; f < frames; ++f) {
                        interleaved[static_cast<std::size_t>(f) * channels + c] = from[f];
                    }
                }
                ebur128_add_frames_float(loudness, interleaved.data(), frames);
            }
            return;
        }
        // The other lane: the true peaks and the tempo, together about as costly as the loudness.
        for (std::uint32_t c = 0; c < channels; ++c) {
            peaks[c].add(channel(c));
        }
        mono.assign(frames, 0.0f);
        const float scale = 1.0f / static_cast<float>(channels);
        for (std::uint32_t c = 0; c < channels; ++c) {
            const auto from = channel(c);
            for (std::uint32_t f = 0; f < frames; ++f) {
                mono[f] += from[f] * scale;
            }
        }
        tempo.add(mono);
    }

    void run(Lane lane) {
        for (;;) {
            Chunk* chunk = nullptr;
            {
                std::unique_lock lock(mutex);
                work.wait(lock, [&] { return taken[lane] < written || ended; });
                if (taken[lane] == written) {
                    break;
                }
                chunk = &ring[taken[lane] % ring.size()];
            }
            measure(lane, *chunk);
            bool freed = false;
            {
                std::lock_guard lock(mutex);
                freed = --chunk->pending == 0;
                ++taken[lane];
            }
            if (freed) {
                space.notify_one();
            }
        }
        if (lane == tempoLane && answerWanted) {
            fitted = tempo.finish(); // while the loudness may still be catching up
        }
    }

    // The chunk to fill next, once both lanes are done with what it held.
    Chunk& acquire(std::uint32_t frames) {
        Chunk& chunk = ring[written % ring.size()];
        if (threaded) {
            std::unique_lock lock(mutex);
            space.wait(lock, [&] { return chunk.pending == 0; });
        }
        chunk.frames = 0;
        if (chunk.capacity < frames) {
            chunk.capacity = std::max(chunkFrames, frames);
            chunk.samples.resize(static_cast<std::size_t>(chunk.capacity) * channels);
        }
        filling = &chunk;
        return chunk;
    }

    void handOver() {
        Chunk& chunk = *filling;
        filling = nullptr;
        if (!threaded) {
            measure(loudnessLane, chunk);
            measure(tempoLane, chunk);
            return;
        }
        {
            std::lock_guard lock(mutex);
            chunk.pending = laneCount;
            ++written;
        }
        work.notify_all();
    }

    // Measures what was handed over, then ends the lanes; wantAnswer: also finds the tempo.
    void stop(bool wantAnswer) {
        {
            std::lock_guard lock(mutex);
            ended = true;
            answerWanted = wantAnswer;
        }
        work.notify_all();
        for (auto& worker : workers) {
            if (worker.joinable()) {
                worker.join();
            }
        }
    }

    TempoDetector tempo;
    std::optional<FittedGrid> fitted; // once the tempo lane has heard everything
    ebur128_state* loudness = nullptr;
    std::vector<TruePeakMeter> peaks;
    std::uint32_t channels;
    std::vector<float> mono;        // the tempo lane's
    std::vector<float> interleaved; // the loudness lane's

    std::array<Chunk, 4> ring; // a megabyte for stereo
    Chunk* filling = nullptr;  // the caller's, not yet handed over
    std::mutex mutex;
    std::condition_variable work;  // a chunk handed over, or the end
    std::condition_variable space; // a chunk measured by both lanes
    std::uint64_t written = 0;                    // chunks handed over
    std::array<std::uint64_t, laneCount> taken{}; // chunks each lane has measured
    bool ended = false;
    bool answerWanted = false;
    std::array<std::thread, laneCount> workers;
    bool threaded = false;

    ~Detectors() {
        stop(false);
        if (loudness) {
            ebur128_destroy(&loudness);
        }
    }
};

TrackMeasurer::TrackMeasurer(double sampleRate, std::uint32_t channelCount, std::int64_t expectedFrames)
    : detectors_(std::make_unique<Detectors>(sampleRate, channelCount)) {
    auto& d = *detectors_;
    d.tempo.reserve(expectedFrames);
    d.loudness = ebur128_init(channelCount, static_cast<unsigned long>(std::lround(sampleRate)),
                              EBUR128_MODE_I | EBUR128_MODE_HISTOGRAM);
    try {
        for (int lane = 0; lane < Detectors::laneCount; ++lane) {
            d.workers[static_cast<std::size_t>(lane)] = std::thread([&d, lane] { d.run(static_cast<Detectors::Lane>(lane)); });
        }
        d.threaded = true;
    } catch (const std::system_error&) {
        d.stop(false); // measured on the caller's thread instead
        d.ended = false;
    }
}

TrackMeasurer::~TrackMeasurer() = default;

void TrackMeasurer::add(const engine::AudioBuffer& buffer) {
    const std::uint32_t frames = buffer.frameLength();
    if (frames == 0) {
        return;
    }
    auto& d = *detectors_;
    if (d.filling && d.filling->frames + frames > d.filling->capacity) {
        d.handOver();
    }
    Chunk& chunk = d.filling ? *d.filling : d.acquire(frames);
    for (std::uint32_t c = 0; c < d.channels; ++c) {
        const auto from = buffer.channel(c).first(frames);
        std::copy(from.begin(), from.end(),
                  chunk.samples.begin() + static_cast<std::ptrdiff_t>(c) * chunk.capacity + chunk.frames);
    }
    chunk.frames += frames;
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
    auto& d = *detectors_;
    if (d.filling) {
        d.handOver();
    }
    d.stop(true);
    if (!d.threaded) {
        d.fitted = d.tempo.finish();
    }
    TrackMeasures measures;
    if (const auto& fitted = d.fitted) {
        measures.grid = fitted->grid;
        measures.tempoConfidence = fitted->confidence;
    }
    if (d.loudness) {
        double lufs = 0.0;
        if (ebur128_loudness_global(d.loudness, &lufs) == EBUR128_SUCCESS && std::isfinite(lufs)) {
            measures.loudness = lufs;
        }
    }
    for (const auto& meter : d.peaks) {
        measures.truePeak = std::max(measures.truePeak, meter.truePeak());
    }
    return measures;
}

} // namespace quelmo
