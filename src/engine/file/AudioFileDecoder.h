#pragma once

// Private to src/engine/file: the decoding pass behind AudioFile.

#include "engine/file/AudioFile.h"
#include "engine/file/Ffmpeg.h"
#include "engine/file/SeekIndex.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quelmo::engine {

namespace decoding {

// Sets *error to `text` when the caller wants it.
inline void fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

} // namespace decoding

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

    // Without exact timing: the file's seek index, shared with its other readers (nothing when the
    // codec cannot be seeked exactly through one). A decoder whose frame count is exact records a
    // point at the first packet from frame `nextDue` on; `pending` waits for its first output frame.
    std::shared_ptr<SeekIndex> seekIndex;
    std::int64_t nextDue = std::numeric_limits<std::int64_t>::max();
    std::optional<SeekIndex::Point> pending;
    std::uint32_t audioBytes = 0; // SeekIndex::Point::audioBytes of the next packet
    std::int64_t packetsSent = 0; // packets the codec has taken

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

    // Starts the seek index for this stream, now that the first frame gave the rate. Decoders opened
    // `like` this one share it.
    void startIndex();
    // Seeks through the index along `route`. True when the frame at hand is the first one counted
    // from route.to and matches the index; false leaves the decoder in no known place (start over).
    bool seekIndexed(const SeekIndex::Route& route, std::string* error);
    // After the container moved: the codec and the packet at hand forget what came before.
    void afterContainerSeek();

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
    // A seek through the index under way: packets are dropped until route.from, then decoded with
    // their output dropped until route.to, from which frames count again.
    struct Alignment {
        SeekIndex::Route route;
        bool primed = false;  // route.from has been found
        bool reached = false; // the packet at hand is route.to
        int scanned = 0;      // packets dropped looking for route.from
    };
    enum class Step { drop, decode, lost };

    bool convert(std::string* error);
    void place();
    // What a seek through the index does with the packet just read.
    Step align();
    // After the codec took a packet: starts counting at an index point, or records one.
    void taken();
    // Identifies the first frame after a point: its length and samples.
    std::uint32_t outputCrc(std::uint32_t count) const;

    std::optional<Alignment> alignment;
};

} // namespace quelmo::engine
