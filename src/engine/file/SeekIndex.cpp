#include "engine/file/SeekIndex.h"

#include "engine/file/Ffmpeg.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace quelmo::engine {

namespace {

constexpr std::int64_t never = std::numeric_limits<std::int64_t>::max();

} // namespace

std::shared_ptr<SeekIndex> SeekIndex::forStream(const AVFormatContext* format, const AVStream* stream,
                                                int rate) {
    if (format == nullptr || format->iformat == nullptr || stream == nullptr || rate <= 0) {
        return nullptr;
    }
    const AVCodecParameters& codec = *stream->codecpar;
    Priming priming;
    switch (codec.codec_id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3: {
        // A Layer III frame may take its audio data from up to 511 bytes of audio data before its
        // header (255 in MPEG-2 and 2.5, whose frames hold 576 samples), from as many earlier frames
        // as that spans: 20 of them at 8 kbit/s mono, 80 in stereo, where a frame carries 13 and 3
        // bytes of it. Decoded, each frame also overlaps the one before. Measured, decoding is exact
        // once that reach is covered; prime twice the reach, and four frames at least. Layers I and
        // II have no reservoir and get the four frames.
        const bool lowRate = codec.frame_size == 576; // unknown counts as MPEG-1, the longer reach
        priming.frames = 4 * std::int64_t{codec.frame_size > 0 ? codec.frame_size : 1152};
        priming.reservoirBytes = 2 * (lowRate ? 255 : 511);
        break;
    }
    case AV_CODEC_ID_VORBIS:
        // Each packet's output is the overlap of its block with the one before: one packet primes
        // (measured); prime two of the longest blocks' worth of output and more.
        priming.frames = 8192;
        break;
    case AV_CODEC_ID_OPUS:
        // Opus predicts band energies from the packet before and filters its output recursively, so
        // a decoder started anywhere only converges on what a decode from the start has: measured
        // on music-like test signals, bit for bit after 0.6 to 1.3 s. Prime four seconds; the first
        // frame counted is checked against the index all the same.
        priming.frames = 4 * std::int64_t{rate};
        break;
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_ALAC:
        // Lossless packets that decode on their own (in Ogg, Matroska or MP4): the packet is enough.
        priming.frames = 1;
        break;
    default:
        if (codec.codec_id >= AV_CODEC_ID_PCM_S16LE && codec.codec_id < AV_CODEC_ID_ADPCM_IMA_QT) {
            priming.frames = 1; // PCM in a container without exact timing
            break;
        }
        // Everything else keeps decoding from the start: AAC, AC-3 (which dithers with a generator
        // of the same kind), and codecs not measured here. FFmpeg marks most audio codecs intra-only,
        // which says every packet is a key frame, not that it decodes without the ones before.
        return nullptr;
    }
    // Demuxers that pick up anew at any packet's byte position: the MP3 parser resyncs on a frame
    // header, Ogg on a page. Others seek by timestamp, to the recorded packet or before it.
    const std::string_view name = format->iformat->name != nullptr ? format->iformat->name : "";
    const bool byBytes =
        (name == "mp3" || name == "ogg") && (format->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0;
    return std::shared_ptr<SeekIndex>(new SeekIndex(priming, rate, byBytes));
}

std::uint32_t SeekIndex::audioBytesIn(const std::uint8_t* data, int size) const {
    if (priming_.reservoirBytes == 0 || data == nullptr || size < 4) {
        return 0;
    }
    // The frame header: MPEG version, layer, whether a CRC follows, channel mode.
    const bool mpeg1 = ((data[1] >> 3) & 3) == 3;
    const bool layer3 = ((data[1] >> 1) & 3) == 1;
    const bool crc = (data[1] & 1) == 0;
    const bool mono = (data[3] >> 6) == 3;
    if ((data[0] != 0xff) || (data[1] & 0xe0) != 0xe0 || !layer3) {
        return 0;
    }
    const int sideInformation = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return static_cast<std::uint32_t>(std::max(0, size - 4 - (crc ? 2 : 0) - sideInformation));
}

std::int64_t SeekIndex::nextDue() const {
    const std::lock_guard lock(mutex_);
    if (complete_ || givenUp_) {
        return never;
    }
    return points_.empty() ? spacing_ : points_.back().frame + spacing_;
}

std::int64_t SeekIndex::add(const Point& point) {
    const std::lock_guard lock(mutex_);
    if (complete_ || givenUp_) {
        return never;
    }
    if (points_.empty() || point.frame > points_.back().frame) {
        points_.push_back(point);
    }
    return points_.back().frame + spacing_;
}

void SeekIndex::finish() {
    const std::lock_guard lock(mutex_);
    complete_ = true;
    points_.shrink_to_fit();
}

bool SeekIndex::complete() const {
    const std::lock_guard lock(mutex_);
    return complete_;
}

std::optional<SeekIndex::Route> SeekIndex::route(std::int64_t target) const {
    const std::lock_guard lock(mutex_);
    if (givenUp_) {
        return std::nullopt;
    }
    auto to = std::upper_bound(points_.begin(), points_.end(), target,
                               [](std::int64_t frame, const Point& point) { return frame < point.frame; });
    if (to == points_.begin()) {
        return std::nullopt;
    }
    --to;
    for (auto from = to; from != points_.begin();) {
        --from;
        if (primes(*from, *to)) {
            return Route{*from, *to, byBytes_};
        }
    }
    return std::nullopt;
}

bool SeekIndex::primes(const Point& from, const Point& to) const {
    const std::int64_t frames = to.frame - from.frame;
    if (frames < priming_.frames || frames <= 0) {
        return false;
    }
    // Counted modulo 2^32, the difference is right below 4 GB of audio data.
    return priming_.reservoirBytes == 0 ||
           static_cast<std::uint32_t>(to.audioBytes - from.audioBytes) >= priming_.reservoirBytes;
}

void SeekIndex::giveUp() {
    const std::lock_guard lock(mutex_);
    givenUp_ = true;
    points_.clear();
    points_.shrink_to_fit();
}

std::size_t SeekIndex::bytes() const {
    const std::lock_guard lock(mutex_);
    return sizeof(*this) + points_.capacity() * sizeof(Point);
}

std::vector<std::int64_t> SeekIndex::frames() const {
    const std::lock_guard lock(mutex_);
    std::vector<std::int64_t> frames;
    frames.reserve(points_.size());
    for (const Point& point : points_) {
        frames.push_back(point.frame);
    }
    return frames;
}

} // namespace quelmo::engine
