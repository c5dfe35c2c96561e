#include "engine/file/FormatConverter.h"

#include "engine/file/Ffmpeg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace quelmo::engine {

namespace {

int clampToInt(std::uint32_t frames) {
    return static_cast<int>(std::min<std::uint32_t>(frames, std::numeric_limits<int>::max()));
}

} // namespace

void FormatConverter::Freer::operator()(SwrContext* context) const {
    ffmpeg::api().swr_free(&context);
}

FormatConverter::FormatConverter(const AudioFormat& source, std::unique_ptr<SwrContext, Freer> context)
    : source_(source), context_(std::move(context)) {
}

FormatConverter::~FormatConverter() = default;

std::unique_ptr<SwrContext, FormatConverter::Freer> FormatConverter::makeContext(const AudioFormat& source,
                                                                                 std::string* error) {
    const auto report = [error](std::string text) {
        if (error != nullptr) {
            *error = std::move(text);
        }
        return nullptr;
    };
    const double rate = source.sampleRate;
    if (!std::isfinite(rate) || rate < 1.0 || rate > std::numeric_limits<int>::max() ||
        rate != std::floor(rate)) {
        return report("cannot convert from " + std::to_string(rate) + " Hz: not a whole number of hertz");
    }
    if (source.channelCount == 0 || source.channelCount > AudioFormat::maxChannels) {
        return report("cannot convert from " + std::to_string(source.channelCount) + " channels: 1 to " +
                      std::to_string(AudioFormat::maxChannels) + " are supported");
    }

    ffmpeg::ChannelLayout input;
    input.assignDefault(static_cast<int>(source.channelCount));
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* raw = nullptr;
    int result = ffmpeg::api().swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_FLTP,
                                                   static_cast<int>(graphSampleRate), input.get(),
                                                   AV_SAMPLE_FMT_FLTP, static_cast<int>(rate), 0, nullptr);
    std::unique_ptr<SwrContext, Freer> context(raw);
    if (result >= 0 && source.channelCount == 1) {
        // Both channels at full level, not the standard centre mix at -3 dB.
        constexpr std::array<double, 2> monoToBoth = {1.0, 1.0};
        result = ffmpeg::api().swr_set_matrix(raw, monoToBoth.data(), 1);
    }
    if (result >= 0) {
        result = ffmpeg::api().swr_init(raw);
    }
    if (result < 0) {
        return report("cannot convert from " + std::to_string(static_cast<int>(rate)) + " Hz, " +
                      std::to_string(source.channelCount) + " channels: " + ffmpeg::describe(result));
    }
    return context;
}

std::unique_ptr<FormatConverter> FormatConverter::create(const AudioFormat& source, std::string* error) {
    if (!ffmpeg::available(error)) {
        return nullptr;
    }
    auto context = makeContext(source, error);
    if (!context) {
        return nullptr;
    }
    return std::unique_ptr<FormatConverter>(new FormatConverter(source, std::move(context)));
}

std::uint32_t FormatConverter::maxOutputFrames(std::uint32_t inputFrames) const {
    return static_cast<std::uint32_t>(
        std::max(0, ffmpeg::api().swr_get_out_samples(context_.get(), clampToInt(inputFrames))));
}

std::uint32_t FormatConverter::convert(const float* const* input, std::uint32_t inputFrames,
                                       float* const* output, std::uint32_t outputCapacity) {
    // Input pointers are always given, also for no input: null input would tell the resampler that the
    // source has ended.
    static constexpr float nothing = 0.0f;
    std::array<const std::uint8_t*, AudioFormat::maxChannels> in{};
    for (std::uint32_t c = 0; c < source_.channelCount; ++c) {
        const float* channel = input != nullptr && inputFrames > 0 ? input[c] : &nothing;
        in[c] = reinterpret_cast<const std::uint8_t*>(channel);
    }
    std::array<std::uint8_t*, graphChannelCount> out = {reinterpret_cast<std::uint8_t*>(output[0]),
                                                        reinterpret_cast<std::uint8_t*>(output[1])};
    const int written = ffmpeg::api().swr_convert(context_.get(), out.data(), clampToInt(outputCapacity),
                                                  in.data(), input != nullptr ? clampToInt(inputFrames) : 0);
    return static_cast<std::uint32_t>(std::max(0, written));
}

std::uint32_t FormatConverter::flush(float* const* output, std::uint32_t outputCapacity) {
    std::array<std::uint8_t*, graphChannelCount> out = {reinterpret_cast<std::uint8_t*>(output[0]),
                                                        reinterpret_cast<std::uint8_t*>(output[1])};
    const int written =
        ffmpeg::api().swr_convert(context_.get(), out.data(), clampToInt(outputCapacity), nullptr, 0);
    return static_cast<std::uint32_t>(std::max(0, written));
}

void FormatConverter::reset() {
    // Building a fresh context is the one sure way to drop the resampler's history and buffers.
    if (auto fresh = makeContext(source_, nullptr)) {
        context_ = std::move(fresh);
    }
}

} // namespace quelmo::engine
