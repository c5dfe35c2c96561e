#pragma once

#include "engine/record/RecordingEncoder.h"
#include "engine/util/SampleRing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quelmo::engine {

class RecordingEncoder;

// Records what the engine's main output plays to a FLAC or WAV file.
//
// The render thread hands each block to capture(), which only copies it into a lock-free ring. A
// writer thread of the recorder's own empties the ring every few milliseconds, encodes and writes.
// Should the writer fall behind until the ring is full, the frames that do not fit are left out of
// the file (the file is then shorter than the set by that much), counted, and logged by the writer
// with where in the file the gap is: "Quelmo: recording dropped 4410 frames at 01:23". The render
// thread never waits for the disk.
//
// One recording per recorder: start(), then stop() (or destruction, which stops). The file stays
// playable up to the last few tenths of a second however the process ends (RecordingEncoder).
class SetRecorder {
public:
    using Format = RecordingFormat;
    // Receives log lines; called on the writer thread.
    using LogFunction = std::function<void(const std::string&)>;

    static constexpr double sampleRate = 44100.0;
    static constexpr std::size_t defaultRingFrames = std::size_t{1} << 17; // about 3 s at 44.1 kHz

    explicit SetRecorder(LogFunction log = {}, std::size_t ringFrames = defaultRingFrames);
    ~SetRecorder();
    SetRecorder(const SetRecorder&) = delete;
    SetRecorder& operator=(const SetRecorder&) = delete;

    // Main thread. Creates the file at path and starts the writer; nothing on success, else why not
    // ("cannot create the file: Permission denied"). Once per recorder.
    std::optional<std::string> start(const std::string& path, Format format);
    // Main thread. Writes what the ring still holds, completes the file and joins the writer; nothing
    // when the file is complete, else what went wrong. Blocks for the final write (milliseconds).
    std::optional<std::string> stop();
    bool isRecording() const { return recording_; }

    // Render thread. Copies frames of the two channels into the ring; no allocation, lock or system
    // call. Ignored unless recording.
    void capture(const float* const* channels, std::uint32_t frames);

    // Any thread.
    std::int64_t capturedFrames() const { return captured_.load(std::memory_order_acquire); }
    std::int64_t droppedFrames() const { return dropped_.load(std::memory_order_acquire); }
    // Frames and bytes in the file, as far as the operating system has them.
    std::int64_t savedFrames() const { return savedFrames_.load(std::memory_order_acquire); }
    std::int64_t savedBytes() const { return savedBytes_.load(std::memory_order_acquire); }
    double elapsedSeconds() const { return static_cast<double>(capturedFrames()) / sampleRate; }
    // Main thread. Why the writer stopped writing, if it did ("cannot write to the file: No space
    // left on device"); the recording then drops everything until stop().
    std::optional<std::string> failure() const;

    // "01:23" below an hour, "1:02:03" from an hour on.
    static std::string clockText(double seconds);

private:
    void writerLoop();
    void drainRing();
    void reportDrops();
    void setFailure(const std::string& text);

    LogFunction log_;
    SampleRing ring_;
    std::unique_ptr<RecordingEncoder> encoder_;
    std::thread writer_;
    bool recording_ = false;
    bool started_ = false;

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false; // under wakeMutex_

    mutable std::mutex failureMutex_;
    std::optional<std::string> failure_;
    std::atomic<bool> failed_{false};

    // Writer thread only.
    std::vector<float> left_;
    std::vector<float> right_;
    std::int64_t reportedDrops_ = 0;

    // Render thread only.
    bool inGap_ = false;

    std::atomic<bool> accepting_{false};
    std::atomic<std::int64_t> captured_{0};
    std::atomic<std::int64_t> dropped_{0};
    std::atomic<std::int64_t> gapAt_{0}; // file frame where the latest gap began
    std::atomic<std::int64_t> savedFrames_{0};
    std::atomic<std::int64_t> savedBytes_{0};
};

} // namespace quelmo::engine
