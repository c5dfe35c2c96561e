#include "tracks/WaveformAnalysis.h"

#include "engine/AudioBuffer.h"
#include "engine/file/AudioFile.h"
#include "tracks/WaveformOverview.h"
#include "shared/Log.h"

#include <limits>

namespace quelmo {

namespace {

constexpr std::uint32_t chunkFrames = 8192;

// Feeds channel 0 of everything `file` reads from its position to its end into `overview`.
// Also feeds all channels to `measurer`, when there is one.
bool feed(engine::AudioFile& file, engine::AudioBuffer& buffer, WaveformOverview& overview,
          TrackMeasurer* measurer, std::string* error) {
    for (;;) {
        const std::int64_t read = file.read(buffer, chunkFrames, error);
        if (read < 0) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        overview.add(buffer.channel(0).first(buffer.frameLength()));
        if (measurer) {
            measurer->add(buffer);
        }
    }
}

std::optional<WaveformAnalysis> failed(const std::string& path, const std::string& reason) {
    logLine("Waveform analysis failed: " + path + ": " + reason);
    return std::nullopt;
}

} // namespace

std::optional<WaveformAnalysis> analyzeWaveformFile(const std::string& path) {
    std::string error;
    auto file = engine::AudioFile::openForOneRead(path, &error);
    if (!file) {
        return failed(path, error);
    }
    const engine::AudioFormat format = file->processingFormat();
    if (file->lengthIsExact() && file->length() == 0) {
        return std::nullopt;
    }
    auto buffer = engine::AudioBuffer::create(format, chunkFrames);

    WaveformAnalysis result;
    result.sampleRate = static_cast<int>(format.sampleRate);
    // A stated length is at most a few codec frames over the count (padding at the end the decoder
    // drops): the steps up to 16 below its own are worked out alongside, and one above.
    const std::int64_t statedStep = WaveformOverview::stepFor(file->length());
    WaveformOverview overview = file->lengthIsExact()
                                    ? WaveformOverview(statedStep)
                                    : WaveformOverview(statedStep - WaveformOverview::maxSteps + 2, statedStep + 1);
    result.passes = 1;
    TrackMeasurer measurer(format.sampleRate, format.channelCount, file->length());
    if (!feed(*file, *buffer, overview, &measurer, &error)) {
        return failed(path, error);
    }
    if (!overview.fitsFrameCount()) {
        // The container misstated the length: again, with the step of the counted one.
        if (!file->seek(0, &error)) {
            return failed(path, error);
        }
        overview = WaveformOverview(WaveformOverview::stepFor(overview.frameCount()));
        result.passes = 2;
        if (!feed(*file, *buffer, overview, nullptr, &error)) {
            return failed(path, error);
        }
    }
    result.frameCount = overview.frameCount();
    if (result.frameCount == 0 || result.frameCount > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    result.levels = overview.levels();
    result.measures = measurer.finish();
    return result;
}

} // namespace quelmo
