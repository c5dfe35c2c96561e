#pragma once

// Private to the engine: the FFmpeg headers, the FFmpeg functions the engine calls and small
// ownership helpers shared by the file reader, the format converter and the recording encoder.
//
// FFmpeg's libraries, with the eighty-odd codec libraries they pull in, are loaded the first time a
// file is decoded, converted or encoded, not when the program starts: a deck that plays only its
// pads never maps them (about 16 MB of resident memory). Every call goes through api(); an entry
// point calls available() first and reports its error when the libraries cannot be loaded.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/crc.h>
#include <libswresample/swresample.h>
}

#include <memory>
#include <string>

namespace quelmo::engine::ffmpeg {

// The FFmpeg functions the engine uses, by library (libavutil, libswresample, libavcodec,
// libavformat), resolved from the libraries whose headers it was built against.
// clang-format off
#define QUELMO_FFMPEG_FUNCTIONS(X) \
    X(av_channel_layout_check) X(av_channel_layout_compare) X(av_channel_layout_copy)                \
    X(av_channel_layout_default) X(av_channel_layout_uninit) X(av_crc) X(av_crc_get_table)           \
    X(av_dict_free) X(av_dict_set) X(av_frame_alloc) X(av_frame_free) X(av_frame_get_buffer)         \
    X(av_frame_make_writable) X(av_frame_unref) X(av_free) X(av_freep) X(av_malloc) X(av_rescale)    \
    X(av_rescale_q) X(av_strerror)                                                                   \
    X(swr_alloc_set_opts2) X(swr_convert) X(swr_free) X(swr_get_out_samples) X(swr_init)             \
    X(swr_set_matrix)                                                                                \
    X(av_packet_alloc) X(av_packet_free) X(av_packet_rescale_ts) X(av_packet_unref)                  \
    X(avcodec_alloc_context3) X(avcodec_descriptor_get) X(avcodec_find_encoder)                      \
    X(avcodec_flush_buffers) X(avcodec_free_context) X(avcodec_get_name) X(avcodec_open2)            \
    X(avcodec_parameters_from_context) X(avcodec_parameters_to_context) X(avcodec_receive_frame)     \
    X(avcodec_receive_packet) X(avcodec_send_frame) X(avcodec_send_packet)                           \
    X(av_find_best_stream) X(av_read_frame) X(av_seek_frame) X(av_write_frame) X(av_write_trailer)   \
    X(avformat_alloc_output_context2) X(avformat_close_input) X(avformat_find_stream_info)           \
    X(avformat_free_context) X(avformat_new_stream) X(avformat_open_input) X(avformat_seek_file)     \
    X(avformat_write_header) X(avio_alloc_context) X(avio_context_free) X(avio_flush) X(avio_seek)   \
    X(avio_size)
// clang-format on

struct Api {
#define QUELMO_FFMPEG_POINTER(name) decltype(&::name) name = nullptr;
    QUELMO_FFMPEG_FUNCTIONS(QUELMO_FFMPEG_POINTER)
#undef QUELMO_FFMPEG_POINTER
};

// Loads the libraries once (any thread; the first caller waits for the load). False, with *error
// set to what the loader said, when they cannot be loaded or lack a function.
bool available(std::string* error);
// The functions; only after available() returned true.
const Api& api();

struct FormatCloser {
    void operator()(AVFormatContext* context) const { api().avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { api().avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { api().av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { api().av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { api().swr_free(&context); }
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
    // A layout never assigned holds nothing, and may be dropped before the libraries are loaded.
    ~ChannelLayout() {
        if (layout_.nb_channels != 0 || layout_.order != AV_CHANNEL_ORDER_UNSPEC) {
            api().av_channel_layout_uninit(&layout_);
        }
    }
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
        return api().av_channel_layout_compare(&layout_, &other.layout_) == 0;
    }

private:
    AVChannelLayout layout_{};
};

// FFmpeg's text for an error code, e.g. "No such file or directory".
std::string describe(int error);

} // namespace quelmo::engine::ffmpeg
