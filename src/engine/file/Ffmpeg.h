#pragma once

// Private to src/engine/file: the FFmpeg headers and small ownership helpers shared by the file
// reader and the format converter. Not for use outside this folder.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <memory>
#include <string>

namespace quelmo::engine::ffmpeg {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

// An AVChannelLayout that cleans up after itself.
class ChannelLayout {
public:
    ChannelLayout() = default;
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    // A copy of `layout`, or the default layout for its channel count when it does not name its
    // channels (a plain two-channel WAV, say), so that the resampler can work with it.
    bool assign(const AVChannelLayout& layout);
    void assignDefault(int channels);

    const AVChannelLayout* get() const { return &layout_; }
    AVChannelLayout* get() { return &layout_; } // for the FFmpeg calls that take it non-const
    int channels() const { return layout_.nb_channels; }
    bool operator==(const ChannelLayout& other) const {
        return av_channel_layout_compare(&layout_, &other.layout_) == 0;
    }

private:
    AVChannelLayout layout_{};
};

// FFmpeg's text for an error code, e.g. "No such file or directory".
std::string describe(int error);

} // namespace quelmo::engine::ffmpeg
