#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct AVFormatContext;
struct AVStream;

namespace quelmo::engine {

// Where a compressed file's packets begin and which file frame each one's decoded output starts
// at, as a decode from the start counted it: lets a reader of a file whose container does not time
// packets to the sample (MP3, Ogg Vorbis, Opus...) seek by decoding a second or two instead of the
// whole file before the target.
//
// A point is recorded about once a second of audio, at a packet boundary, while a reader decodes
// with its frame count exact (from the start, or after a seek through the index). A seek goes to a
// point far enough before the target for the decoder to settle (the priming below), drops what that
// decodes, and counts frames again from a later point; the first frame there must match the recorded
// one bit for bit, or the index is given up and the file seeks by decoding from the start, as files
// without an index do.
//
// Shared by a file and its duplicates, which may run on different threads: whatever touches the
// points locks.
class SeekIndex {
public:
    struct Point {
        std::int64_t position = 0;      // byte position of the packet in the file (pkt->pos)
        std::int64_t timestamp = 0;     // its decoding timestamp, in the stream's time base
        std::int64_t frame = 0;         // the file frame its decoded output starts at
        std::uint32_t audioBytes = 0;   // MP3 audio data in the packets before it (modulo 2^32)
        std::uint32_t packetCrc = 0;    // identifies the packet among those at the same position
        std::uint32_t outputFrames = 0; // the first decoded frame after the packet: its length...
        std::uint32_t outputCrc = 0;    // ...and its samples
    };

    // How a seek gets from `from`, where the demuxer is put, to `to`, where frames count again.
    struct Route {
        Point from;
        Point to;
        bool byBytes = false; // seek to from.position, otherwise to from.timestamp
    };

    // The index for a stream decoded at `rate` frames per second, or nothing when its codec carries
    // state across packets that no amount of decoding ahead makes exact again (AAC's noise
    // substitution draws from a generator that runs through the whole stream) or is not known here.
    static std::shared_ptr<SeekIndex> forStream(const AVFormatContext* format, const AVStream* stream,
                                                int rate);

    // The audio data in an MP3 packet, which a later frame may draw on (its bit reservoir): what
    // follows the header, CRC and side information. 0 for other codecs.
    std::uint32_t audioBytesIn(const std::uint8_t* data, int size) const;

    // Whether a packet without a timestamp can still be a point: true when seeks go by byte position.
    bool seeksByBytes() const { return byBytes_; }

    // The frame from which the next point is due: a recorder decoding at frame f records at the first
    // packet boundary at or after it.
    std::int64_t nextDue() const;
    // Adds `point` when it lies beyond the last one (another reader may have got there first).
    // Returns the frame from which the next point is due.
    std::int64_t add(const Point& point);
    // A decode from an exact place reached the end: every later point is known, memory is trimmed.
    void finish();
    bool complete() const;

    // The way to `target`, or nothing when it lies before the first point that can be primed (a
    // decode from the start is as cheap there) or the index has been given up.
    std::optional<Route> route(std::int64_t target) const;
    // A seek could not find a recorded packet, or decoding found other frames than the index says:
    // no more seeks through it.
    void giveUp();

    // Bytes held, for the record of what the index costs.
    std::size_t bytes() const;
    // The frames of the points, for tests.
    std::vector<std::int64_t> frames() const;

private:
    // What a seek decodes before it counts frames again, so that the decoder's state is what a
    // decode from the start had: at least `frames`, and for MP3 `reservoirBytes` of audio data.
    struct Priming {
        std::int64_t frames = 0;
        std::uint32_t reservoirBytes = 0;
    };

    SeekIndex(Priming priming, std::int64_t spacing, bool byBytes)
        : priming_(priming), spacing_(spacing), byBytes_(byBytes) {}
    bool primes(const Point& from, const Point& to) const;

    const Priming priming_;
    const std::int64_t spacing_; // frames between points
    const bool byBytes_;

    mutable std::mutex mutex_;
    std::vector<Point> points_; // by frame, ascending
    bool complete_ = false;
    bool givenUp_ = false;
};

} // namespace quelmo::engine
