#pragma once

#include "engine/AudioBuffer.h"
#include "engine/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quelmo::engine {

// Reads an audio file of any format FFmpeg decodes (WAV, AIFF, FLAC, MP3, Ogg Vorbis, Opus, AAC in
// MP4, WebM...) as deinterleaved float frames at the file's own sample rate and channel count.
//
// Frame counts and positions are exact: length() is the number of frames a read from frame 0 to the
// end delivers, and after seek(f) reads deliver exactly the frames such a full read delivers from f.
// Lossless files whose container times every packet to the sample (WAV, W64, AIFF, raw FLAC) take
// the container's length and seek through the container; for everything else the file is decoded
// once when it is opened to count its frames. That decode, and any read from the start, records a
// seek index (engine/file/SeekIndex.h) shared with the file's duplicates, so that a seek decodes a
// second or so before its target instead of everything; where a codec cannot be seeked exactly that
// way (AAC), or the file does not match its index, seeking backwards decodes again from the start.
//
// One thread at a time per instance; separate instances, on the same path too, are independent.
class AudioFile {
public:
    // Opens `path` and the best audio stream in it. On failure returns nullptr and describes why in
    // *error ("cannot open file: No such file or directory", "no audio stream", "cannot decode: ...").
    // May take a while for long compressed files (they are decoded once here); worker thread.
    static std::unique_ptr<AudioFile> open(const std::string& path, std::string* error);

    // Opens `path` for one read from start to end without counting its frames first: no decoding
    // beyond the first frame here. Lossless files the container times to the sample get their exact
    // length as with open(); for the others length() is at first what the container states, less the
    // frames it says the decoder skips at the start (0 when it states nothing), and lengthIsExact() is false.
    // Reads then deliver the frames a full read of open() would, until the stream ends; once a read has
    // reached the end, length() is the exact count and the file behaves as if open()ed. Until then seek()
    // only accepts the current position.
    static std::unique_ptr<AudioFile> openForOneRead(const std::string& path, std::string* error);

    // Opens `path` as open() does, but takes `length` (frames, as an earlier full read counted them)
    // instead of counting again: no decoding beyond the first frame here. Reads and seeks then behave
    // as after open(); should the file have changed, the frames missing at its end read as silence.
    static std::unique_ptr<AudioFile> openWithLength(const std::string& path, std::int64_t length,
                                                     std::string* error);

    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // A second reader of the same file at frame 0, without counting the frames again. Nothing (and
    // *error) if the file can no longer be opened.
    std::unique_ptr<AudioFile> duplicate(std::string* error) const;

    const std::string& path() const { return path_; }
    // The file's own sample rate and channel count.
    AudioFormat processingFormat() const { return format_; }
    // Frames at the file's rate.
    std::int64_t length() const { return length_; }
    // False only for a file openForOneRead() whose end has not yet been read: length() is then the
    // container's statement.
    bool lengthIsExact() const { return lengthIsExact_; }
    // The frame the next read starts at.
    std::int64_t framePosition() const { return position_; }

    // Moves to `frame`, from 0 to length() inclusive. On failure returns false with *error set; the
    // position is then unchanged and reading resumes from it.
    bool seek(std::int64_t frame, std::string* error);

    // Reads up to `frames` frames, at most into.frameCapacity(), from the current position into `into`,
    // whose channel count must match the file's. Sets into's frame length and returns the frames read,
    // 0 at the end, or -1 with *error set. Should the stream end early (the file changed since it was
    // opened), the missing frames are silence, so a full read always delivers exactly length() frames.
    std::int64_t read(AudioBuffer& into, std::uint32_t frames, std::string* error);

private:
    struct Decoder;

    AudioFile(std::string path, AudioFormat format, std::int64_t length, std::unique_ptr<Decoder> decoder);

    // open() and openForOneRead(): `countFrames` false leaves non-exact files uncounted.
    static std::unique_ptr<AudioFile> open(const std::string& path, bool countFrames, std::string* error);

    // Makes the decoder's current frame reach past position_: 1 when it does, 0 at the end of the
    // stream, -1 on failure.
    int fill(std::string* error);
    // Replaces the decoder with a fresh one at the start of the file, then fill()s up to position_.
    bool restart(std::string* error);
    // seek() in a file without exact timing: decodes on, goes through the seek index or restart()s,
    // whichever decodes least.
    bool seekDecoding(std::int64_t frame, std::string* error);

    friend struct AudioFileTesting;

    std::string path_;
    AudioFormat format_;
    std::int64_t length_ = 0;
    bool lengthIsExact_ = true;
    std::int64_t position_ = 0;
    std::unique_ptr<Decoder> decoder_;
    bool haveFrame_ = false;    // the decoder holds a decoded frame
    bool needsRestart_ = false; // a seek failed half-way; the decoder's place is unknown
    bool useSeekIndex_ = true;
    std::int64_t packetsRetired_ = 0; // packets decoded by the decoders restart() replaced
};

} // namespace quelmo::engine
