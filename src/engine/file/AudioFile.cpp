#include "engine/file/AudioFile.h"

#include "engine/file/Ffmpeg.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quelmo::engine {

namespace {

void fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

// Demuxers whose packet timestamps count samples exactly, after a seek too.
bool timesPacketsToTheSample(const AVInputFormat* format) {
    constexpr std::array<std::string_view, 4> names = {"wav", "w64", "aiff", "flac"};
    return format != nullptr && format->name != nullptr &&
           std::find(names.begin(), names.end(), std::string_view(format->name)) != names.end();
}

// Frames in `ticks` of a time base of `framesPerTick` frames, or nothing when that is beyond any real
// file (damaged timestamps).
std::optional<std::int64_t> ticksToFrames(std::int64_t ticks, std::int64_t framesPerTick) {
    constexpr std::int64_t limit = std::int64_t{1} << 48; // centuries at any audio rate
    std::int64_t frames = 0;
    if (__builtin_mul_overflow(ticks, framesPerTick, &frames) || frames > limit || frames < -limit) {
        return std::nullopt;
    }
    return frames;
}

} // namespace

// One pass through the file: demuxer, decoder and sample format conversion to planar float at the
// file's rate. Produces one decoded frame at a time, together with where it belongs in the file.
struct AudioFile::Decoder {
    enum class Next { frame, end, failed };

    ffmpeg::FormatPtr format;
    ffmpeg::CodecPtr codec;
    ffmpeg::PacketPtr packet;
    ffmpeg::FramePtr frame;
    AVStream* stream = nullptr;

    // The processing format, taken from the first decoded frame.
    int rate = 0;
    ffmpeg::ChannelLayout output;

    // Converts whatever the decoder produces to planar float in the output layout, without changing
    // the rate. Rebuilt when the decoder's sample format or channel layout changes mid-stream.
    ffmpeg::ResamplerPtr converter;
    ffmpeg::ChannelLayout converterInput;
    int converterInputFormat = AV_SAMPLE_FMT_NONE;

    // With exact timing a frame's place is its timestamp counted from the first frame's (lossless
    // codecs in containers that time packets to the sample); otherwise frames simply follow each other.
    bool exact = false;
    std::int64_t framesPerTick = 1;
    std::int64_t firstPts = AV_NOPTS_VALUE;
    std::int64_t nextStart = 0;
    bool nextStartKnown = true;

    bool inputEnded = false;    // the end of input has been sent to the codec
    bool packetWaiting = false; // `packet` is read but the codec has not taken it yet
    int decodeErrors = 0;
    std::string lastDecodeError;

    // The latest decoded frame: `frames` frames starting at file frame `start`; channel c begins at
    // samples[c * capacity]. startKnown is false when a container seek left no way to place it.
    std::vector<float> samples;
    std::uint32_t capacity = 0;
    std::uint32_t frames = 0;
    std::int64_t start = 0;
    bool startKnown = true;

    // Opens the file. A decoder `like` another one takes over its processing format and timing, so
    // that its frames line up with the other's.
    static std::unique_ptr<Decoder> open(const std::string& path, const Decoder* like, std::string* error);

    Next next(std::string* error);
    // Container seek to at or before frame `target`; exact timing only. The next frame's start tells where
    // it landed.
    bool seekNear(std::int64_t target, std::string* error);

    // Decodes to the end of the stream and returns the end of the last frame, counting the one at
    // hand when `holdsFrame`.
    std::optional<std::int64_t> decodeToEnd(bool holdsFrame, std::string* error);
    // With exact timing, the length from the container's figure, checked by decoding the last second
    // after it; nothing when the figure is missing or wrong (a truncated file, say).
    std::optional<std::int64_t> lengthFromContainer();

    std::int64_t end() const { return start + frames; }
    const float* channel(std::uint32_t index) const {
        return samples.data() + static_cast<std::size_t>(index) * capacity;
    }

private:
    bool convert(std::string* error);
    void place();
};

std::unique_ptr<AudioFile::Decoder> AudioFile::Decoder::open(const std::string& path, const Decoder* like,
                                                             std::string* error) {
    auto decoder = std::make_unique<Decoder>();

    // A local file, whatever its name looks like ("name:with colons" is no URL), and whatever it
    // refers to (a playlist in it may only name other local files).
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* rawFormat = nullptr;
    int result = avformat_open_input(&rawFormat, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (result < 0) {
        const bool unrecognised = result == AVERROR_INVALIDDATA || result == AVERROR(EINVAL);
        fail(error, std::string("cannot open file: ") +
                        (unrecognised ? "unrecognised or damaged format (" : "") + ffmpeg::describe(result) +
                        (unrecognised ? ")" : ""));
        return nullptr;
    }
    decoder->format.reset(rawFormat);

    result = avformat_find_stream_info(rawFormat, nullptr);
    if (result < 0) {
        fail(error, "cannot read the file's streams: " + ffmpeg::describe(result));
        return nullptr;
    }

    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(rawFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index == AVERROR_DECODER_NOT_FOUND) {
        std::string name = "unknown";
        for (unsigned i = 0; i < rawFormat->nb_streams; ++i) {
            if (rawFormat->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                name = avcodec_get_name(rawFormat->streams[i]->codecpar->codec_id);
                break;
            }
        }
        fail(error, "cannot decode: no decoder for the " + name + " codec");
        return nullptr;
    }
    if (index < 0 || codec == nullptr) {
        fail(error, "no audio stream");
        return nullptr;
    }
    decoder->stream = rawFormat->streams[index];
    for (unsigned i = 0; i < rawFormat->nb_streams; ++i) {
        if (static_cast<int>(i) != index) {
            rawFormat->streams[i]->discard = AVDISCARD_ALL; // cover art, video, other tracks
        }
    }

    decoder->codec.reset(avcodec_alloc_context3(codec));
    decoder->packet.reset(av_packet_alloc());
    decoder->frame.reset(av_frame_alloc());
    if (!decoder->codec || !decoder->packet || !decoder->frame) {
        fail(error, "cannot decode: out of memory");
        return nullptr;
    }
    result = avcodec_parameters_to_context(decoder->codec.get(), decoder->stream->codecpar);
    if (result >= 0) {
        decoder->codec->pkt_timebase = decoder->stream->time_base;
        result = avcodec_open2(decoder->codec.get(), codec, nullptr);
    }
    if (result < 0) {
        fail(error, "cannot decode: " + ffmpeg::describe(result));
        return nullptr;
    }

    if (like != nullptr) {
        decoder->rate = like->rate;
        decoder->output.assign(*like->output.get());
        decoder->exact = like->exact;
        decoder->framesPerTick = like->framesPerTick;
        decoder->firstPts = like->firstPts;
        return decoder;
    }

    // Exact timing needs packets that decode on their own and timestamps in whole frames.
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(decoder->stream->codecpar->codec_id);
    const AVRational tick = decoder->stream->time_base;
    const std::int64_t rate = decoder->stream->codecpar->sample_rate;
    if (timesPacketsToTheSample(rawFormat->iformat) && descriptor != nullptr &&
        (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0 && tick.num > 0 && tick.den > 0 && rate > 0 &&
        rate * tick.num % tick.den == 0) {
        decoder->exact = true;
        decoder->framesPerTick = rate * tick.num / tick.den;
    }
    return decoder;
}

AudioFile::Decoder::Next AudioFile::Decoder::next(std::string* error) {
    for (;;) {
        int result = avcodec_receive_frame(codec.get(), frame.get());
        if (result == 0) {
            const bool converted = convert(error);
            av_frame_unref(frame.get());
            if (!converted) {
                return Next::failed;
            }
            if (frames > 0) {
                return Next::frame;
            }
            continue;
        }
        if (result == AVERROR_EOF) {
            return Next::end;
        }
        if (result != AVERROR(EAGAIN)) {
            ++decodeErrors;
            lastDecodeError = ffmpeg::describe(result);
        }
        if (inputEnded) {
            return Next::end;
        }

        if (!packetWaiting) {
            result = av_read_frame(format.get(), packet.get());
            if (result == AVERROR_EOF || result == AVERROR_INVALIDDATA) {
                // The end, or damage the demuxer cannot read past: decode what came before it.
                avcodec_send_packet(codec.get(), nullptr);
                inputEnded = true;
                continue;
            }
            if (result < 0) {
                fail(error, "cannot read: " + ffmpeg::describe(result));
                return Next::failed;
            }
            if (packet->stream_index != stream->index) {
                av_packet_unref(packet.get());
                continue;
            }
        }
        result = avcodec_send_packet(codec.get(), packet.get());
        if (result == AVERROR(EAGAIN)) {
            // The codec has frames to give first; after those it must take the packet.
            if (packetWaiting) {
                fail(error, "cannot decode: the decoder takes no more input");
                return Next::failed;
            }
            packetWaiting = true;
            continue;
        }
        packetWaiting = false;
        av_packet_unref(packet.get());
        if (result < 0) {
            // A damaged packet: skip it, as every pass through the file does alike.
            ++decodeErrors;
            lastDecodeError = ffmpeg::describe(result);
        }
    }
}

bool AudioFile::Decoder::convert(std::string* error) {
    if (rate == 0) {
        if (frame->ch_layout.nb_channels > static_cast<int>(AudioFormat::maxChannels)) {
            fail(error, "cannot decode: " + std::to_string(frame->ch_layout.nb_channels) +
                            " channels; at most " + std::to_string(AudioFormat::maxChannels) +
                            " are supported");
            return false;
        }
        rate = frame->sample_rate;
        output.assign(frame->ch_layout);
    }
    if (frame->sample_rate != rate) {
        fail(error, "cannot decode: the sample rate changes from " + std::to_string(rate) + " to " +
                        std::to_string(frame->sample_rate) + " Hz mid-stream");
        return false;
    }

    ffmpeg::ChannelLayout input;
    if (!input.assign(frame->ch_layout) || output.channels() <= 0) {
        fail(error, "cannot decode: the decoder produced no usable channel layout");
        return false;
    }
    if (!converter || frame->format != converterInputFormat || !(input == converterInput)) {
        SwrContext* raw = nullptr;
        int result = swr_alloc_set_opts2(&raw, output.get(), AV_SAMPLE_FMT_FLTP, rate, input.get(),
                                         static_cast<AVSampleFormat>(frame->format), rate, 0, nullptr);
        converter.reset(raw);
        if (result >= 0) {
            result = swr_init(raw);
        }
        if (result < 0) {
            converter.reset();
            fail(error, "cannot convert the decoded samples: " + ffmpeg::describe(result));
            return false;
        }
        converterInput.assign(*input.get());
        converterInputFormat = frame->format;
    }

    const int room = swr_get_out_samples(converter.get(), frame->nb_samples);
    if (room < 0) {
        fail(error, "cannot convert the decoded samples: " + ffmpeg::describe(room));
        return false;
    }
    const auto channels = static_cast<std::uint32_t>(output.channels());
    if (static_cast<std::uint32_t>(room) > capacity) {
        capacity = static_cast<std::uint32_t>(room);
        samples.assign(static_cast<std::size_t>(channels) * capacity, 0.0f);
    }
    std::array<std::uint8_t*, AudioFormat::maxChannels> planes{};
    for (std::uint32_t c = 0; c < channels; ++c) {
        planes[c] = reinterpret_cast<std::uint8_t*>(samples.data() + static_cast<std::size_t>(c) * capacity);
    }
    const int converted =
        swr_convert(converter.get(), planes.data(), room,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        fail(error, "cannot convert the decoded samples: " + ffmpeg::describe(converted));
        return false;
    }
    frames = static_cast<std::uint32_t>(converted);
    place();
    return true;
}

void AudioFile::Decoder::place() {
    const std::int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
    if (exact && firstPts == AV_NOPTS_VALUE) {
        if (pts == AV_NOPTS_VALUE) {
            exact = false;
        } else {
            firstPts = pts;
        }
    }
    std::int64_t ticks = 0;
    const auto placed = exact && pts != AV_NOPTS_VALUE && !__builtin_sub_overflow(pts, firstPts, &ticks)
                            ? ticksToFrames(ticks, framesPerTick)
                            : std::nullopt;
    if (placed) {
        start = *placed;
        startKnown = true;
    } else {
        start = nextStart;
        startKnown = nextStartKnown;
    }
    nextStart = start + frames;
    nextStartKnown = startKnown;
}

bool AudioFile::Decoder::seekNear(std::int64_t target, std::string* error) {
    std::int64_t timestamp = 0;
    if (__builtin_add_overflow(firstPts, target / framesPerTick, &timestamp)) {
        fail(error, "cannot seek: the file's timestamps are out of range");
        return false;
    }
    const int result = avformat_seek_file(format.get(), stream->index,
                                          std::numeric_limits<std::int64_t>::min(), timestamp, timestamp, 0);
    if (result < 0) {
        fail(error, "cannot seek: " + ffmpeg::describe(result));
        return false;
    }
    avcodec_flush_buffers(codec.get());
    av_packet_unref(packet.get());
    packetWaiting = false;
    inputEnded = false;
    nextStartKnown = false;
    return true;
}

std::optional<std::int64_t> AudioFile::Decoder::decodeToEnd(bool holdsFrame, std::string* error) {
    std::int64_t last = holdsFrame ? end() : 0;
    for (;;) {
        switch (next(error)) {
        case Next::frame:
            last = std::max(last, end());
            break;
        case Next::end:
            return last;
        case Next::failed:
            return std::nullopt;
        }
    }
}

std::optional<std::int64_t> AudioFile::Decoder::lengthFromContainer() {
    const auto claimed = stream->duration > 0 ? ticksToFrames(stream->duration, framesPerTick) : std::nullopt;
    if (!claimed) {
        return std::nullopt;
    }
    const std::int64_t target = std::max<std::int64_t>(0, *claimed - rate);
    std::string ignored;
    if (!seekNear(target, &ignored) || next(&ignored) != Next::frame || !startKnown || start > target) {
        return std::nullopt;
    }
    return decodeToEnd(true, &ignored);
}

AudioFile::AudioFile(std::string path, AudioFormat format, std::int64_t length,
                     std::unique_ptr<Decoder> decoder)
    : path_(std::move(path)), format_(format), length_(length), decoder_(std::move(decoder)) {
}

AudioFile::~AudioFile() = default;

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path, std::string* error) {
    return open(path, true, error);
}

std::unique_ptr<AudioFile> AudioFile::openForOneRead(const std::string& path, std::string* error) {
    return open(path, false, error);
}

std::unique_ptr<AudioFile> AudioFile::openWithLength(const std::string& path, std::int64_t length,
                                                     std::string* error) {
    auto file = open(path, false, error);
    if (file && !file->lengthIsExact_) {
        file->length_ = std::max<std::int64_t>(0, length);
        file->lengthIsExact_ = true;
    }
    return file;
}

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path, bool countFrames, std::string* error) {
    auto probe = Decoder::open(path, nullptr, error);
    if (!probe) {
        return nullptr;
    }
    const Decoder::Next first = probe->next(error);
    if (first == Decoder::Next::failed) {
        return nullptr;
    }
    if (first == Decoder::Next::end) {
        if (probe->decodeErrors > 0) {
            fail(error, "cannot decode: " + probe->lastDecodeError);
            return nullptr;
        }
        // A stream without a single frame: still a file, of length 0, in the format it declares.
        probe->rate = probe->codec->sample_rate;
        probe->output.assign(probe->codec->ch_layout);
    }
    const auto format =
        AudioFormat::standard(probe->rate, static_cast<std::uint32_t>(std::max(0, probe->output.channels())));
    if (!format) {
        fail(error, "cannot decode: unsupported format (" + std::to_string(probe->output.channels()) +
                        " channels at " + std::to_string(probe->rate) + " Hz)");
        return nullptr;
    }

    std::optional<std::int64_t> length = 0;
    if (first == Decoder::Next::frame && !countFrames && !probe->exact) {
        // The probe is at frame 0 with its first frame at hand: it becomes the reader, and the
        // length is the container's word until the end is read.
        std::int64_t stated = 0;
        const AVStream* stream = probe->stream;
        if (stream->duration > 0 && stream->time_base.num > 0 && stream->time_base.den > 0) {
            // Frames the container says the decoder skips at the start (an MP3's encoder delay)
            // show as a later start time; they are not delivered.
            const std::int64_t skipped = stream->start_time != AV_NOPTS_VALUE && stream->start_time > 0 &&
                                                 stream->start_time < stream->duration
                                             ? stream->start_time
                                             : 0;
            stated = av_rescale_q(stream->duration - skipped, stream->time_base, AVRational{1, probe->rate});
        } else if (probe->format->duration > 0) {
            stated = av_rescale(probe->format->duration, probe->rate, AV_TIME_BASE);
        }
        auto file = std::unique_ptr<AudioFile>(
            new AudioFile(path, *format, std::max<std::int64_t>(0, stated), std::move(probe)));
        file->lengthIsExact_ = false;
        file->haveFrame_ = true;
        return file;
    }
    if (first == Decoder::Next::frame) {
        if (probe->exact) {
            length = probe->lengthFromContainer();
            if (!length) {
                auto counter = Decoder::open(path, probe.get(), error);
                if (!counter) {
                    return nullptr;
                }
                length = counter->decodeToEnd(false, error);
            }
        } else {
            length = probe->decodeToEnd(true, error);
        }
        if (!length) {
            return nullptr;
        }
    }

    auto reader = Decoder::open(path, probe.get(), error);
    if (!reader) {
        return nullptr;
    }
    return std::unique_ptr<AudioFile>(new AudioFile(path, *format, *length, std::move(reader)));
}

std::unique_ptr<AudioFile> AudioFile::duplicate(std::string* error) const {
    auto reader = Decoder::open(path_, decoder_.get(), error);
    if (!reader) {
        return nullptr;
    }
    auto copy = std::unique_ptr<AudioFile>(new AudioFile(path_, format_, length_, std::move(reader)));
    copy->lengthIsExact_ = lengthIsExact_;
    return copy;
}

int AudioFile::fill(std::string* error) {
    while (!haveFrame_ || decoder_->end() <= position_) {
        switch (decoder_->next(error)) {
        case Decoder::Next::frame:
            haveFrame_ = true;
            break;
        case Decoder::Next::end:
            haveFrame_ = false;
            return 0;
        case Decoder::Next::failed:
            haveFrame_ = false;
            return -1;
        }
    }
    return 1;
}

bool AudioFile::restart(std::string* error) {
    auto fresh = Decoder::open(path_, decoder_.get(), error);
    if (!fresh) {
        return false;
    }
    decoder_ = std::move(fresh);
    haveFrame_ = false;
    needsRestart_ = fill(error) < 0;
    return !needsRestart_;
}

bool AudioFile::seek(std::int64_t frame, std::string* error) {
    if (!lengthIsExact_ && frame != position_) {
        fail(error, "cannot seek: the file is open for one read from start to end");
        return false;
    }
    if (frame < 0 || frame > length_) {
        fail(error, "cannot seek to frame " + std::to_string(frame) + ": the file has " +
                        std::to_string(length_) + " frames");
        return false;
    }
    const std::int64_t previous = position_;
    position_ = frame;

    bool done = false;
    if (needsRestart_) {
        done = restart(error);
    } else if (haveFrame_ && decoder_->start <= frame && frame < decoder_->end()) {
        done = true; // within the frame at hand
    } else if (!decoder_->exact) {
        // Decode on to a later frame; go back by decoding again from the start.
        done = frame >= previous ? fill(error) >= 0 : restart(error);
    } else if (!decoder_->seekNear(frame, error)) {
        done = restart(error);
    } else {
        haveFrame_ = false;
        switch (decoder_->next(error)) {
        case Decoder::Next::frame:
            haveFrame_ = true;
            // The container may land after the frame, or somewhere it cannot say: then from the start.
            done = decoder_->startKnown && decoder_->start <= frame ? fill(error) >= 0 : restart(error);
            break;
        case Decoder::Next::end:
            done = frame == length_ || restart(error);
            break;
        case Decoder::Next::failed:
            break;
        }
    }
    if (!done) {
        position_ = previous;
        needsRestart_ = true;
    }
    return done;
}

std::int64_t AudioFile::read(AudioBuffer& into, std::uint32_t frames, std::string* error) {
    if (into.channelCount() != format_.channelCount) {
        fail(error, "cannot read into a buffer of " + std::to_string(into.channelCount()) +
                        " channels: the file has " + std::to_string(format_.channelCount));
        return -1;
    }
    if (needsRestart_ && !restart(error)) {
        return -1;
    }
    // Until the end of a file opened for one read is seen, the stream alone says where it ends.
    const std::int64_t left = lengthIsExact_ ? length_ - position_ : std::numeric_limits<std::int64_t>::max();
    const auto wanted = static_cast<std::uint32_t>(
        std::min({static_cast<std::int64_t>(frames), static_cast<std::int64_t>(into.frameCapacity()), left}));
    into.setFrameLength(wanted);

    std::uint32_t done = 0;
    while (done < wanted) {
        const int filled = fill(error);
        if (filled < 0) {
            // Leave the position where it was; the next read starts over from a fresh decoder.
            position_ -= done;
            needsRestart_ = true;
            into.setFrameLength(0);
            return -1;
        }
        if (filled == 0 && !lengthIsExact_) {
            length_ = position_;
            lengthIsExact_ = true;
            into.setFrameLength(done);
            break;
        }
        std::uint32_t count = 0;
        if (filled == 0 || position_ < decoder_->start) {
            // The stream ended early, or a gap in the timestamps of a damaged lossless file: silence.
            const std::int64_t gap = filled == 0 ? wanted - done : decoder_->start - position_;
            count = static_cast<std::uint32_t>(std::min<std::int64_t>(wanted - done, gap));
            for (std::uint32_t c = 0; c < format_.channelCount; ++c) {
                std::fill_n(into.channel(c).begin() + done, count, 0.0f);
            }
        } else {
            const auto offset = static_cast<std::uint32_t>(position_ - decoder_->start);
            count = std::min(wanted - done, decoder_->frames - offset);
            for (std::uint32_t c = 0; c < format_.channelCount; ++c) {
                std::copy_n(decoder_->channel(c) + offset, count, into.channel(c).begin() + done);
            }
        }
        position_ += count;
        done += count;
    }
    return done;
}

} // namespace quelmo::engine
