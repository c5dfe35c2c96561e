#include "file/FileStream.h"

#include "file/AudioFile.h"
#include "file/DecodeWorker.h"
#include "file/FormatConverter.h"
#include "util/SampleRing.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace quelmo::engine {
namespace {
constexpr std::uint32_t chunkFrames = 4096;
constexpr std::size_t ringFrames = 2 * 44100;
constexpr std::size_t prefillFrames = 44100 / 2;
} // namespace

// The decoding side, shared between the stream (main and render threads) and the worker.
class FileStream::Job final : public DecodeJob {
public:
    Job(std::unique_ptr<AudioFile> file, std::unique_ptr<FormatConverter> converter, std::int64_t frames)
        : ring(ringFrames), file_(std::move(file)), converter_(std::move(converter)), remaining_(frames) {
        decoded_ = AudioBuffer::create(file_->processingFormat(), chunkFrames);
        for (std::uint32_t c = 0; c < decoded_->channelCount(); ++c) {
            decodedChannels_.push_back(decoded_->channel(c).data());
        }
        const std::uint32_t capacity = converter_->maxOutputFrames(chunkFrames) + 64;
        pendingLeft_.assign(capacity, 0.0f);
        pendingRight_.assign(capacity, 0.0f);
    }

    // Decodes until the ring is full or the data is all there. False once there is nothing left.
    bool service() override {
        if (cancelled.load(std::memory_order_acquire)) {
            return false;
        }
        while (step()) {
        }
        return !decodedAll.load(std::memory_order_relaxed);
    }

    // Worker (or the main thread before hand-over). One unit of work; false when it cannot go on now.
    bool step() {
        if (!flushPending()) {
            return false; // ring full
        }
        float* out[2] = {pendingLeft_.data(), pendingRight_.data()};
        if (remaining_ > 0) {
            std::string error;
            const auto want = static_cast<std::uint32_t>(std::min<std::int64_t>(remaining_, chunkFrames));
            const std::int64_t got = file_->read(*decoded_, want, &error);
            if (got <= 0) {
                remaining_ = 0; // the end, or an unreadable rest: play what there is
                return true;
            }
            remaining_ -= got;
            pendingCount_ = converter_->convert(decodedChannels_.data(), static_cast<std::uint32_t>(got), out,
                                                static_cast<std::uint32_t>(pendingLeft_.size()));
            pendingOffset_ = 0;
            return true;
        }
        if (!flushed_) {
            pendingCount_ = converter_->flush(out, static_cast<std::uint32_t>(pendingLeft_.size()));
            pendingOffset_ = 0;
            flushed_ = pendingCount_ == 0;
            return true;
        }
        decodedAll.store(true, std::memory_order_release);
        return false;
    }

    SampleRing ring;
    std::atomic<bool> decodedAll{false};
    std::atomic<bool> cancelled{false};

private:
    // Moves converted frames into the ring; true when none are left waiting.
    bool flushPending() {
        if (pendingOffset_ < pendingCount_) {
            pendingOffset_ += static_cast<std::uint32_t>(ring.write(pendingLeft_.data() + pendingOffset_,
                                                                    pendingRight_.data() + pendingOffset_,
                                                                    pendingCount_ - pendingOffset_));
        }
        return pendingOffset_ >= pendingCount_;
    }

    std::unique_ptr<AudioFile> file_;
    std::unique_ptr<FormatConverter> converter_;
    std::shared_ptr<AudioBuffer> decoded_;
    std::vector<const float*> decodedChannels_;
    std::vector<float> pendingLeft_;
    std::vector<float> pendingRight_;
    std::uint32_t pendingCount_ = 0;
    std::uint32_t pendingOffset_ = 0;
    std::int64_t remaining_;
    bool flushed_ = false;
};

std::unique_ptr<FileStream> FileStream::create(const AudioFile& file, std::int64_t startFrame,
                                               std::optional<std::int64_t> frameCount, std::string* error) {
    const std::int64_t start = std::clamp<std::int64_t>(startFrame, 0, file.length());
    const std::int64_t frames = std::clamp<std::int64_t>(frameCount.value_or(file.length() - start), 0,
                                                         file.length() - start);
    auto reader = file.duplicate(error);
    if (!reader) {
        return nullptr;
    }
    if (start > 0 && !reader->seek(start, error)) {
        return nullptr;
    }
    auto converter = FormatConverter::create(reader->processingFormat(), error);
    if (!converter) {
        return nullptr;
    }
    auto job = std::make_shared<Job>(std::move(reader), std::move(converter), frames);
    while (job->ring.readable() < prefillFrames && job->step()) {
    }
    if (!job->decodedAll.load(std::memory_order_relaxed)) {
        DecodeWorker::shared().add(job);
    }
    return std::unique_ptr<FileStream>(new FileStream(std::move(job)));
}

FileStream::FileStream(std::shared_ptr<Job> job) : job_(std::move(job)) {}

FileStream::~FileStream() {
    job_->cancelled.store(true, std::memory_order_release);
}

std::uint32_t FileStream::read(float* left, float* right, std::uint32_t frames) {
    return static_cast<std::uint32_t>(job_->ring.read(left, right, frames));
}

bool FileStream::finished() const {
    return job_->decodedAll.load(std::memory_order_acquire) && job_->ring.readable() == 0;
}

} // namespace quelmo::engine
