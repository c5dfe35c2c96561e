#include "engine/file/AudioFileDecoder.h"

extern "C" {
#include <libavutil/crc.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <string_view>
#include <utility>

namespace quelmo::engine {

namespace {

using decoding::fail;

constexpr std::int64_t never = std::numeric_limits<std::int64_t>::max();

// A seek through the index gives up looking for the recorded packet after this many others (a
// demuxer that lands far before it).
constexpr int scanLimit = 1 << 16;

std::uint32_t crc(std::uint32_t crc, const void* data, std::size_t size) {
    return ffmpeg::api().av_crc(ffmpeg::api().av_crc_get_table(AV_CRC_32_IEEE), crc,
                                static_cast<const std::uint8_t*>(data), size);
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

std::unique_ptr<AudioFile::Decoder> AudioFile::Decoder::open(const std::string& path, const Decoder* like,
                                                             std::string* error) {
    if (!ffmpeg::available(error)) {
        return nullptr;
    }
    auto decoder = std::make_unique<Decoder>();

    // A local file, whatever its name looks like ("name:with colons" is no URL), and whatever it
    // refers to (a playlist in it may only name other local files).
    AVDictionary* options = nullptr;
    ffmpeg::api().av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* rawFormat = nullptr;
    int result = ffmpeg::api().avformat_open_input(&rawFormat, ("file:" + path).c_str(), nullptr, &options);
    ffmpeg::api().av_dict_free(&options);
    if (result < 0) {
        const bool unrecognised = result == AVERROR_INVALIDDATA || result == AVERROR(EINVAL);
        fail(error, std::string("cannot open file: ") +
                        (unrecognised ? "unrecognised or damaged format (" : "") + ffmpeg::describe(result) +
                        (unrecognised ? ")" : ""));
        return nullptr;
    }
    decoder->format.reset(rawFormat);

    result = ffmpeg::api().avformat_find_stream_info(rawFormat, nullptr);
    if (result < 0) {
        fail(error, "cannot read the file's streams: " + ffmpeg::describe(result));
        return nullptr;
    }

    const AVCodec* codec = nullptr;
    const int index = ffmpeg::api().av_find_best_stream(rawFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (index == AVERROR_DECODER_NOT_FOUND) {
        std::string name = "unknown";
        for (unsigned i = 0; i < rawFormat->nb_streams; ++i) {
            if (rawFormat->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                name = ffmpeg::api().avcodec_get_name(rawFormat->streams[i]->codecpar->codec_id);
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

    decoder->codec.reset(ffmpeg::api().avcodec_alloc_context3(codec));
    decoder->packet.reset(ffmpeg::api().av_packet_alloc());
    decoder->frame.reset(ffmpeg::api().av_frame_alloc());
    if (!decoder->codec || !decoder->packet || !decoder->frame) {
        fail(error, "cannot decode: out of memory");
        return nullptr;
    }
    result = ffmpeg::api().avcodec_parameters_to_context(decoder->codec.get(), decoder->stream->codecpar);
    if (result >= 0) {
        decoder->codec->pkt_timebase = decoder->stream->time_base;
        result = ffmpeg::api().avcodec_open2(decoder->codec.get(), codec, nullptr);
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
        decoder->seekIndex = like->seekIndex;
        decoder->nextDue = decoder->seekIndex ? decoder->seekIndex->nextDue() : never;
        return decoder;
    }

    // Exact timing needs packets that decode on their own and timestamps in whole frames.
    const AVCodecDescriptor* descriptor =
        ffmpeg::api().avcodec_descriptor_get(decoder->stream->codecpar->codec_id);
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
        int result = ffmpeg::api().avcodec_receive_frame(codec.get(), frame.get());
        if (result == 0) {
            if (alignment) {
                ffmpeg::api().av_frame_unref(frame.get()); // priming, before frames count again
                continue;
            }
            const bool converted = convert(error);
            ffmpeg::api().av_frame_unref(frame.get());
            if (!converted) {
                return Next::failed;
            }
            if (frames > 0) {
                if (pending) {
                    pending->outputFrames = frames;
                    pending->outputCrc = outputCrc(frames);
                    nextDue = seekIndex->add(*pending);
                    pending.reset();
                }
                return Next::frame;
            }
            continue;
        }
        if (result == AVERROR_EOF) {
            if (seekIndex && !alignment && nextDue != never) {
                seekIndex->finish(); // this decode's count is exact, and every point behind it recorded
            }
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
            result = ffmpeg::api().av_read_frame(format.get(), packet.get());
            if (result == AVERROR_EOF || result == AVERROR_INVALIDDATA) {
                // The end, or damage the demuxer cannot read past: decode what came before it.
                ffmpeg::api().avcodec_send_packet(codec.get(), nullptr);
                inputEnded = true;
                continue;
            }
            if (result < 0) {
                fail(error, "cannot read: " + ffmpeg::describe(result));
                return Next::failed;
            }
            if (packet->stream_index != stream->index) {
                ffmpeg::api().av_packet_unref(packet.get());
                continue;
            }
            switch (alignment ? align() : Step::decode) {
            case Step::decode:
                break;
            case Step::drop:
                ffmpeg::api().av_packet_unref(packet.get());
                continue;
            case Step::lost:
                ffmpeg::api().av_packet_unref(packet.get());
                fail(error, "cannot seek: the file's packets are not where its seek index says");
                return Next::failed;
            }
        }
        result = ffmpeg::api().avcodec_send_packet(codec.get(), packet.get());
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
        if (result >= 0) {
            taken();
        } else if (alignment && alignment->reached) {
            ffmpeg::api().av_packet_unref(packet.get());
            fail(error, "cannot seek: the codec refuses the packet the seek index starts counting at");
            return Next::failed;
        }
        ffmpeg::api().av_packet_unref(packet.get());
        if (result < 0) {
            // A damaged packet: skip it, as every pass through the file does alike.
            ++decodeErrors;
            lastDecodeError = ffmpeg::describe(result);
        }
    }
}

AudioFile::Decoder::Step AudioFile::Decoder::align() {
    const auto matches = [this](const SeekIndex::Point& point) {
        return packet->pos == point.position &&
               crc(0, packet->data, static_cast<std::size_t>(packet->size)) == point.packetCrc;
    };
    const SeekIndex::Route& route = alignment->route;
    if (!alignment->primed) {
        if (matches(route.from)) {
            alignment->primed = true;
            return Step::decode;
        }
        // Packets of one stream follow each other through the file: past the point's position, the
        // demuxer landed after it.
        return packet->pos > route.from.position || ++alignment->scanned > scanLimit ? Step::lost
                                                                                     : Step::drop;
    }
    if (matches(route.to)) {
        alignment->reached = true;
        return Step::decode;
    }
    return packet->pos > route.to.position ? Step::lost : Step::decode;
}

void AudioFile::Decoder::taken() {
    ++packetsSent;
    if (!seekIndex) {
        return;
    }
    if (alignment) {
        if (alignment->reached) {
            // Everything before this packet is out of the codec: its output starts at the point.
            nextStart = alignment->route.to.frame;
            nextStartKnown = true;
            audioBytes = alignment->route.to.audioBytes;
            alignment.reset();
            nextDue = seekIndex->nextDue();
        } else {
            return;
        }
    } else if (nextStart >= nextDue && !pending && nextStartKnown && packet->pos >= 0 &&
               (packet->dts != AV_NOPTS_VALUE || seekIndex->seeksByBytes())) {
        SeekIndex::Point point;
        point.position = packet->pos;
        point.timestamp = packet->dts;
        point.frame = nextStart;
        point.audioBytes = audioBytes;
        point.packetCrc = crc(0, packet->data, static_cast<std::size_t>(packet->size));
        pending = point;
    }
    audioBytes += seekIndex->audioBytesIn(packet->data, packet->size);
}

std::uint32_t AudioFile::Decoder::outputCrc(std::uint32_t count) const {
    std::uint32_t sum = crc(0, &count, sizeof count);
    for (int c = 0; c < output.channels(); ++c) {
        sum = crc(sum, channel(static_cast<std::uint32_t>(c)), count * sizeof(float));
    }
    return sum;
}

void AudioFile::Decoder::startIndex() {
    seekIndex = SeekIndex::forStream(format.get(), stream, rate);
    nextDue = seekIndex ? seekIndex->nextDue() : never;
}

bool AudioFile::Decoder::seekIndexed(const SeekIndex::Route& route, std::string* error) {
    const int result =
        route.byBytes
            ? ffmpeg::api().av_seek_frame(format.get(), stream->index, route.from.position, AVSEEK_FLAG_BYTE)
            : ffmpeg::api().avformat_seek_file(format.get(), stream->index,
                                               std::numeric_limits<std::int64_t>::min(), route.from.timestamp,
                                               route.from.timestamp, 0);
    if (result < 0) {
        fail(error, "cannot seek: " + ffmpeg::describe(result));
        return false;
    }
    afterContainerSeek();
    pending.reset();
    alignment = Alignment{route};
    const Next step = next(error);
    if (alignment || step != Next::frame) {
        if (step != Next::failed) {
            fail(error, "cannot seek: the file ends before the packets its seek index names");
        }
        alignment.reset();
        return false;
    }
    // The decoder's state must be what the decode that made the index had. The stream's last frame
    // may come out longer here: the demuxer trims it by timestamps a byte seek leaves unknown.
    if (frames < route.to.outputFrames || outputCrc(route.to.outputFrames) != route.to.outputCrc) {
        fail(error, "cannot seek: decoding gives other frames than the file's seek index");
        return false;
    }
    return true;
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
        int result =
            ffmpeg::api().swr_alloc_set_opts2(&raw, output.get(), AV_SAMPLE_FMT_FLTP, rate, input.get(),
                                              static_cast<AVSampleFormat>(frame->format), rate, 0, nullptr);
        converter.reset(raw);
        if (result >= 0) {
            result = ffmpeg::api().swr_init(raw);
        }
        if (result < 0) {
            converter.reset();
            fail(error, "cannot convert the decoded samples: " + ffmpeg::describe(result));
            return false;
        }
        converterInput.assign(*input.get());
        converterInputFormat = frame->format;
    }

    const int room = ffmpeg::api().swr_get_out_samples(converter.get(), frame->nb_samples);
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
        ffmpeg::api().swr_convert(converter.get(), planes.data(), room,
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
    const int result = ffmpeg::api().avformat_seek_file(
        format.get(), stream->index, std::numeric_limits<std::int64_t>::min(), timestamp, timestamp, 0);
    if (result < 0) {
        fail(error, "cannot seek: " + ffmpeg::describe(result));
        return false;
    }
    afterContainerSeek();
    nextStartKnown = false;
    return true;
}

void AudioFile::Decoder::afterContainerSeek() {
    ffmpeg::api().avcodec_flush_buffers(codec.get());
    ffmpeg::api().av_packet_unref(packet.get());
    packetWaiting = false;
    inputEnded = false;
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

} // namespace quelmo::engine
