#pragma once

#include "engine/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <string>

struct SwrContext;

namespace quelmo::engine {

// Converts deinterleaved float frames from a file's format (any rate, 1 to 8 channels) to the graph's:
// 44100 Hz, two channels. Mono goes to both channels at unity gain, stereo passes through, more
// channels are folded down to stereo with FFmpeg's standard downmix. At 44100 Hz nothing is resampled:
// as many frames come out as go in, and mono or stereo samples come out unchanged.
//
// Allocates; meant for a decoding worker, not the render thread. One thread at a time.
class FormatConverter {
public:
    static constexpr double graphSampleRate = 44100.0;
    static constexpr std::uint32_t graphChannelCount = 2;
    static AudioFormat graphFormat() { return {graphSampleRate, graphChannelCount}; }

    // Nothing, with *error set, for a rate that is not a positive whole number of hertz or a channel
    // count outside 1 to AudioFormat::maxChannels.
    static std::unique_ptr<FormatConverter> create(const AudioFormat& source, std::string* error);

    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    const AudioFormat& sourceFormat() const { return source_; }

    // Enough room for everything the next convert() of `inputFrames` frames can write, including what
    // earlier calls kept back.
    std::uint32_t maxOutputFrames(std::uint32_t inputFrames) const;

    // Converts `inputFrames` frames (one array per source channel) and writes up to `outputCapacity`
    // frames to `output` (two arrays); returns the frames written. Nothing is dropped: what does not
    // fit is kept and comes out first next time, also from a call with no input (inputFrames 0,
    // `input` may then be null). The resampler holds back a few frames until flush().
    std::uint32_t convert(const float* const* input, std::uint32_t inputFrames, float* const* output,
                          std::uint32_t outputCapacity);

    // At the end of the source: writes what is still held, the resampler's tail included, up to
    // `outputCapacity` frames. Call until it returns 0; then reset() before converting again.
    std::uint32_t flush(float* const* output, std::uint32_t outputCapacity);

    // Forgets everything held, ready for an unrelated stretch of source.
    void reset();

private:
    struct Freer {
        void operator()(SwrContext* context) const;
    };

    FormatConverter(const AudioFormat& source, std::unique_ptr<SwrContext, Freer> context);
    static std::unique_ptr<SwrContext, Freer> makeContext(const AudioFormat& source, std::string* error);

    AudioFormat source_;
    std::unique_ptr<SwrContext, Freer> context_;
};

} // namespace quelmo::engine
