#include "engine/file/AudioFile.h"

#include "engine/file/AudioFileDecoder.h"
#include "engine/file/AudioFileTesting.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace quelmo::engine {

using decoding::fail;

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
    if (first == Decoder::Next::frame && !probe->exact) {
        probe->startIndex(); // recorded by whichever reader decodes first, this one when counting
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
            stated = ffmpeg::api().av_rescale_q(stream->duration - skipped, stream->time_base,
                                                AVRational{1, probe->rate});
        } else if (probe->format->duration > 0) {
            stated = ffmpeg::api().av_rescale(probe->format->duration, probe->rate, AV_TIME_BASE);
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
    packetsRetired_ += decoder_->packetsSent;
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
        done = seekDecoding(frame, error);
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

bool AudioFile::seekDecoding(std::int64_t frame, std::string* error) {
    const auto route =
        useSeekIndex_ && decoder_->seekIndex ? decoder_->seekIndex->route(frame) : std::nullopt;
    // Decoding on from where the decoder is, when that is no farther than from the index point.
    const std::int64_t reached = decoder_->nextStart;
    if (frame >= reached && (!route || route->from.frame <= reached)) {
        return fill(error) >= 0;
    }
    if (route) {
        std::string ignored;
        if (decoder_->seekIndexed(*route, &ignored)) {
            haveFrame_ = true;
            return fill(error) >= 0;
        }
        // The demuxer could not get back to a recorded packet, or decoding disagrees with the
        // index: every reader of the file decodes from the start again.
        decoder_->seekIndex->giveUp();
    }
    return restart(error);
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

std::int64_t AudioFileTesting::packetsDecoded(const AudioFile& file) {
    return file.packetsRetired_ + file.decoder_->packetsSent;
}

void AudioFileTesting::useSeekIndex(AudioFile& file, bool use) {
    file.useSeekIndex_ = use;
}

std::size_t AudioFileTesting::seekIndexBytes(const AudioFile& file) {
    return file.decoder_->seekIndex ? file.decoder_->seekIndex->bytes() : 0;
}

std::vector<std::int64_t> AudioFileTesting::seekIndexFrames(const AudioFile& file) {
    return file.decoder_->seekIndex ? file.decoder_->seekIndex->frames() : std::vector<std::int64_t>{};
}

} // namespace quelmo::engine
