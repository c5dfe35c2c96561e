#include "engine/record/RecordingEncoder.h"

#include "engine/file/Ffmpeg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace quelmo::engine {

namespace {

bool fail(std::string* error, const std::string& what, int code) {
    if (error != nullptr) {
        *error = what + ": " + ffmpeg::describe(code);
    }
    return false;
}

// Float to the 24-bit integer FLAC stores, in the top bits of an int32 as FFmpeg's S32 format wants.
std::int32_t toInt24(float sample) {
    constexpr float scale = 8388608.0f; // 2^23
    const float scaled = std::isnan(sample) ? 0.0f : std::clamp(sample * scale, -scale, scale - 1.0f);
    return static_cast<std::int32_t>(std::lrint(scaled)) * 256;
}

constexpr int wavFrameSize = 4096;
constexpr int ioBufferBytes = 64 * 1024;

// FFmpeg writes and seeks through the file descriptor the encoder created.
int writeToFile(void* opaque, std::uint8_t* data, int size) {
    const int fd = *static_cast<int*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, static_cast<std::size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return AVERROR(errno);
        }
        done += static_cast<int>(n);
    }
    return size;
}

std::int64_t seekInFile(void* opaque, std::int64_t offset, int whence) {
    const int fd = *static_cast<int*>(opaque);
    if ((whence & AVSEEK_SIZE) != 0) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 ? status.st_size : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
}

} // namespace

struct RecordingEncoder::Context {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    AVStream* stream = nullptr;
    RecordingFormat kind = RecordingFormat::flac;
    int frameSize = 0;    // frames per codec frame
    int frameFilled = 0;  // frames in `frame` so far
    std::int64_t pts = 0; // first frame of `frame` on the file's timeline
    int fd = -1;          // the file, created by open()

    // Hands what the muxer holds to the file and lets go of it; false when the file would not take it.
    bool closeFile() {
        bool written = true;
        if (format != nullptr && format->pb != nullptr) {
            ffmpeg::api().avio_flush(format->pb);
            written = format->pb->error >= 0;
            ffmpeg::api().av_freep(&format->pb->buffer);
            ffmpeg::api().avio_context_free(&format->pb);
        }
        if (fd >= 0) {
            written = ::close(fd) == 0 && written;
            fd = -1;
        }
        return written;
    }

    ~Context() {
        ffmpeg::api().av_packet_free(&packet);
        ffmpeg::api().av_frame_free(&frame);
        ffmpeg::api().avcodec_free_context(&codec);
        closeFile();
        ffmpeg::api().avformat_free_context(format);
    }
};

RecordingEncoder::RecordingEncoder(std::unique_ptr<Context> context) : context_(std::move(context)) {
}

RecordingEncoder::~RecordingEncoder() = default;

std::unique_ptr<RecordingEncoder> RecordingEncoder::open(const std::string& path, RecordingFormat format,
                                                         double sampleRate, std::string* error) {
    if (!ffmpeg::available(error)) {
        return nullptr;
    }
    auto c = std::make_unique<Context>();
    c->kind = format;
    const bool flac = format == RecordingFormat::flac;
    const int rate = static_cast<int>(sampleRate);

    int result =
        ffmpeg::api().avformat_alloc_output_context2(&c->format, nullptr, flac ? "flac" : "wav", nullptr);
    if (result < 0) {
        fail(error, "cannot prepare the file", result);
        return nullptr;
    }
    const AVCodec* codec =
        ffmpeg::api().avcodec_find_encoder(flac ? AV_CODEC_ID_FLAC : AV_CODEC_ID_PCM_F32LE);
    if (codec == nullptr || (c->codec = ffmpeg::api().avcodec_alloc_context3(codec)) == nullptr) {
        fail(error, "cannot prepare the encoder", AVERROR_ENCODER_NOT_FOUND);
        return nullptr;
    }
    c->codec->sample_rate = rate;
    c->codec->time_base = AVRational{1, rate};
    ffmpeg::api().av_channel_layout_default(&c->codec->ch_layout, 2);
    if (flac) {
        c->codec->sample_fmt = AV_SAMPLE_FMT_S32;
        c->codec->bits_per_raw_sample = 24;
    } else {
        c->codec->sample_fmt = AV_SAMPLE_FMT_FLT;
    }
    if ((c->format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        c->codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if ((result = ffmpeg::api().avcodec_open2(c->codec, codec, nullptr)) < 0) {
        fail(error, "cannot start the encoder", result);
        return nullptr;
    }
    c->frameSize = c->codec->frame_size > 0 ? c->codec->frame_size : wavFrameSize;

    c->stream = ffmpeg::api().avformat_new_stream(c->format, nullptr);
    if (c->stream == nullptr ||
        ffmpeg::api().avcodec_parameters_from_context(c->stream->codecpar, c->codec) < 0) {
        fail(error, "cannot prepare the file", AVERROR(ENOMEM));
        return nullptr;
    }
    c->stream->time_base = c->codec->time_base;

    // Created here, and only if nothing is there yet: never a file made since a name was chosen,
    // never through a link planted under that name.
    c->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (c->fd < 0) {
        if (error != nullptr) {
            *error = errno == EEXIST || errno == ELOOP
                         ? std::string(fileExists)
                         : std::string("cannot create the file: ") + std::strerror(errno);
        }
        return nullptr;
    }
    auto* buffer = static_cast<unsigned char*>(ffmpeg::api().av_malloc(ioBufferBytes));
    c->format->pb = buffer ? ffmpeg::api().avio_alloc_context(buffer, ioBufferBytes, 1, &c->fd, nullptr,
                                                              writeToFile, seekInFile)
                           : nullptr;
    if (c->format->pb == nullptr) {
        ffmpeg::api().av_free(buffer);
        ::unlink(path.c_str());
        fail(error, "cannot prepare the file", AVERROR(ENOMEM));
        return nullptr;
    }
    AVDictionary* options = nullptr;
    if (!flac) {
        ffmpeg::api().av_dict_set(&options, "rf64", "auto",
                                  0); // past 4 GB the file becomes RF64 when finished
    }
    result = ffmpeg::api().avformat_write_header(c->format, &options);
    ffmpeg::api().av_dict_free(&options);
    if (result < 0) {
        fail(error, "cannot write the file's header", result);
        return nullptr;
    }

    c->frame = ffmpeg::api().av_frame_alloc();
    c->packet = ffmpeg::api().av_packet_alloc();
    if (c->frame == nullptr || c->packet == nullptr) {
        fail(error, "cannot prepare the encoder", AVERROR(ENOMEM));
        return nullptr;
    }
    c->frame->format = c->codec->sample_fmt;
    c->frame->sample_rate = rate;
    c->frame->nb_samples = c->frameSize;
    ffmpeg::api().av_channel_layout_copy(&c->frame->ch_layout, &c->codec->ch_layout);
    if ((result = ffmpeg::api().av_frame_get_buffer(c->frame, 0)) < 0) {
        fail(error, "cannot prepare the encoder", result);
        return nullptr;
    }
    ffmpeg::api().avio_flush(c->format->pb);

    auto encoder = std::unique_ptr<RecordingEncoder>(new RecordingEncoder(std::move(c)));
    // Where the file has got to: avio_tell(), an inline over avio_seek() the loader cannot resolve.
    encoder->savedBytes_ = ffmpeg::api().avio_seek(encoder->context_->format->pb, 0, SEEK_CUR);
    return encoder;
}

bool RecordingEncoder::write(const float* left, const float* right, std::size_t frames, std::string* error) {
    Context& c = *context_;
    std::size_t done = 0;
    while (done < frames) {
        if (c.frameFilled == 0) {
            const int result = ffmpeg::api().av_frame_make_writable(c.frame);
            if (result < 0) {
                return fail(error, "cannot encode", result);
            }
        }
        const auto n =
            std::min<std::size_t>(frames - done, static_cast<std::size_t>(c.frameSize - c.frameFilled));
        if (c.kind == RecordingFormat::flac) {
            auto* out = reinterpret_cast<std::int32_t*>(c.frame->data[0]) + 2 * c.frameFilled;
            for (std::size_t i = 0; i < n; ++i) {
                out[2 * i] = toInt24(left[done + i]);
                out[2 * i + 1] = toInt24(right[done + i]);
            }
        } else {
            auto* out = reinterpret_cast<float*>(c.frame->data[0]) + 2 * c.frameFilled;
            for (std::size_t i = 0; i < n; ++i) {
                out[2 * i] = left[done + i];
                out[2 * i + 1] = right[done + i];
            }
        }
        c.frameFilled += static_cast<int>(n);
        done += n;
        if (c.frameFilled == c.frameSize && !sendFrame(false, error)) {
            return false;
        }
    }
    return true;
}

bool RecordingEncoder::sendFrame(bool last, std::string* error) {
    Context& c = *context_;
    if (c.frameFilled > 0) {
        c.frame->nb_samples = c.frameFilled;
        c.frame->pts = c.pts;
        c.pts += c.frameFilled;
        c.frameFilled = 0;
        const int result = ffmpeg::api().avcodec_send_frame(c.codec, c.frame);
        if (result < 0) {
            return fail(error, "cannot encode", result);
        }
    }
    if (last) {
        const int result = ffmpeg::api().avcodec_send_frame(c.codec, nullptr);
        if (result < 0) {
            return fail(error, "cannot encode", result);
        }
    }
    return drainPackets(error);
}

bool RecordingEncoder::drainPackets(std::string* error) {
    Context& c = *context_;
    while (true) {
        int result = ffmpeg::api().avcodec_receive_packet(c.codec, c.packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return true;
        }
        if (result < 0) {
            return fail(error, "cannot encode", result);
        }
        const std::int64_t end = c.packet->pts + c.packet->duration;
        c.packet->stream_index = c.stream->index;
        ffmpeg::api().av_packet_rescale_ts(c.packet, c.codec->time_base, c.stream->time_base);
        result = ffmpeg::api().av_write_frame(c.format, c.packet);
        ffmpeg::api().av_packet_unref(c.packet);
        if (result < 0) {
            return fail(error, "cannot write to the file", result);
        }
        framesEncoded_ = std::max(framesEncoded_, end);
    }
}

bool RecordingEncoder::flush(std::string* error) {
    AVIOContext* pb = context_->format->pb;
    ffmpeg::api().avio_flush(pb);
    if (pb->error < 0) {
        return fail(error, "cannot write to the file", pb->error);
    }
    savedFrames_ = framesEncoded_;
    savedBytes_ = ffmpeg::api().avio_seek(pb, 0, SEEK_CUR);
    return true;
}

bool RecordingEncoder::finish(std::string* error) {
    Context& c = *context_;
    if (c.format->pb == nullptr) {
        return true;
    }
    if (!sendFrame(true, error)) {
        return false;
    }
    // The trailer goes back to the header: FLAC's STREAMINFO gets the length and checksum, WAV its sizes.
    int result = ffmpeg::api().av_write_trailer(c.format);
    if (result < 0) {
        return fail(error, "cannot complete the file", result);
    }
    if (!flush(error)) {
        return false;
    }
    savedBytes_ = ffmpeg::api().avio_size(c.format->pb);
    if (!c.closeFile()) {
        return fail(error, "cannot close the file", AVERROR(errno != 0 ? errno : EIO));
    }
    return true;
}

} // namespace quelmo::engine
