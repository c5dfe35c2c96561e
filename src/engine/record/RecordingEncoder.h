#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quelmo::engine {

enum class RecordingFormat {
    flac, // 24-bit FLAC: lossless for anything the output can carry to a 24-bit device
    wav,  // 32-bit float WAV: the rendered samples bit for bit
};

// Encodes stereo float frames at the graph's rate into a FLAC or WAV file through FFmpeg.
//
// The file stays readable at every moment, so that a process killed while recording leaves a
// usable file: FLAC frames carry their own sync codes and positions, and the STREAMINFO written first
// says "length unknown" until finish() fills it in; the WAV header gives its sizes as "to the end of
// the file" (0xFFFFFFFF) until finish() writes them, and becomes RF64 past 4 GB. flush() hands
// everything encoded so far to the operating system.
//
// One thread at a time; it blocks on the disk, so never the render thread.
class RecordingEncoder {
public:
    // Creates path, which must not exist yet: a file or a link of that name already there (made since
    // the name was chosen, say) is never written, and *error is then exactly fileExists. Nothing,
    // with *error set, when the file cannot be made.
    static std::unique_ptr<RecordingEncoder> open(const std::string& path, RecordingFormat format,
                                                  double sampleRate, std::string* error);
    static constexpr const char* fileExists = "a file of that name exists";
    // Without finish() the file is left as a kill would leave it.
    ~RecordingEncoder();
    RecordingEncoder(const RecordingEncoder&) = delete;
    RecordingEncoder& operator=(const RecordingEncoder&) = delete;

    // Encodes frames; the encoder holds back at most one codec frame (about 0.1 s).
    bool write(const float* left, const float* right, std::size_t frames, std::string* error);
    // Writes out what the muxer buffers.
    bool flush(std::string* error);
    // Encodes what is held back, completes the header and closes the file.
    bool finish(std::string* error);

    // Frames whose encoded data has been handed to the operating system by the last flush() or finish().
    std::int64_t savedFrames() const { return savedFrames_; }
    // Bytes of the file as of the last flush() or finish().
    std::int64_t savedBytes() const { return savedBytes_; }

private:
    struct Context;
    explicit RecordingEncoder(std::unique_ptr<Context> context);

    bool sendFrame(bool last, std::string* error);
    bool drainPackets(std::string* error);

    std::unique_ptr<Context> context_;
    std::int64_t framesEncoded_ = 0; // frames whose packets the muxer has taken
    std::int64_t savedFrames_ = 0;
    std::int64_t savedBytes_ = 0;
};

} // namespace quelmo::engine
