#include "engine/record/SetRecorder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace quelmo::engine {

namespace {
constexpr std::size_t chunkFrames = 4096;
constexpr auto pollInterval = std::chrono::milliseconds(20);
} // namespace

SetRecorder::SetRecorder(LogFunction log, std::size_t ringFrames)
    : log_(std::move(log)), ring_(ringFrames), left_(chunkFrames), right_(chunkFrames) {
}

SetRecorder::~SetRecorder() {
    stop();
}

std::optional<std::string> SetRecorder::start(const std::string& path, Format format) {
    if (started_) {
        return std::string("this recorder has already recorded");
    }
    std::string error;
    encoder_ = RecordingEncoder::open(path, format, sampleRate, &error);
    if (!encoder_) {
        return error;
    }
    started_ = true;
    recording_ = true;
    savedBytes_.store(encoder_->savedBytes(), std::memory_order_release);
    writer_ = std::thread([this] { writerLoop(); });
    accepting_.store(true, std::memory_order_release);
    return std::nullopt;
}

std::optional<std::string> SetRecorder::stop() {
    if (!recording_) {
        return std::nullopt;
    }
    recording_ = false;
    accepting_.store(false, std::memory_order_release);
    {
        std::lock_guard lock(wakeMutex_);
        stopRequested_ = true;
    }
    wake_.notify_one();
    writer_.join();
    return failure();
}

void SetRecorder::capture(const float* const* channels, std::uint32_t frames) {
    if (!accepting_.load(std::memory_order_acquire)) {
        return;
    }
    const std::size_t written = ring_.write(channels[0], channels[1], frames);
    const std::int64_t captured =
        captured_.load(std::memory_order_relaxed) + static_cast<std::int64_t>(written);
    if (written < frames) {
        if (!inGap_) {
            gapAt_.store(captured, std::memory_order_relaxed);
            inGap_ = true;
        }
        dropped_.fetch_add(static_cast<std::int64_t>(frames - written), std::memory_order_release);
    } else {
        inGap_ = false;
    }
    captured_.store(captured, std::memory_order_release);
}

std::optional<std::string> SetRecorder::failure() const {
    std::lock_guard lock(failureMutex_);
    return failure_;
}

void SetRecorder::setFailure(const std::string& text) {
    {
        std::lock_guard lock(failureMutex_);
        failure_ = text;
    }
    failed_.store(true, std::memory_order_release);
    if (log_) {
        log_("Quelmo: recording stopped writing: " + text);
    }
}

void SetRecorder::writerLoop() {
    while (true) {
        bool stopping = false;
        {
            std::unique_lock lock(wakeMutex_);
            wake_.wait_for(lock, pollInterval, [this] { return stopRequested_; });
            stopping = stopRequested_;
        }
        // After a stop request nothing more enters the ring, so this pass takes the last of it.
        drainRing();
        reportDrops();
        if (stopping) {
            break;
        }
    }
    std::string error;
    if (!failed_.load(std::memory_order_acquire) && !encoder_->finish(&error)) {
        setFailure(error);
    }
    savedFrames_.store(encoder_->savedFrames(), std::memory_order_release);
    savedBytes_.store(encoder_->savedBytes(), std::memory_order_release);
}

void SetRecorder::drainRing() {
    bool wrote = false;
    std::string error;
    while (true) {
        const std::size_t n = ring_.read(left_.data(), right_.data(), chunkFrames);
        if (n == 0) {
            break;
        }
        // After a failure the ring is still emptied, so that the render thread is not left writing
        // into a full one; what it held is counted as dropped.
        if (failed_.load(std::memory_order_relaxed)) {
            dropped_.fetch_add(static_cast<std::int64_t>(n), std::memory_order_release);
            continue;
        }
        if (!encoder_->write(left_.data(), right_.data(), n, &error)) {
            setFailure(error);
            continue;
        }
        wrote = true;
    }
    if (wrote) {
        if (!encoder_->flush(&error)) {
            setFailure(error);
        }
        savedFrames_.store(encoder_->savedFrames(), std::memory_order_release);
        savedBytes_.store(encoder_->savedBytes(), std::memory_order_release);
    }
}

void SetRecorder::reportDrops() {
    const std::int64_t total = dropped_.load(std::memory_order_acquire);
    if (total == reportedDrops_ || failed_.load(std::memory_order_relaxed)) {
        reportedDrops_ = total;
        return;
    }
    const std::int64_t gap = total - reportedDrops_;
    reportedDrops_ = total;
    if (log_) {
        const double at = static_cast<double>(gapAt_.load(std::memory_order_relaxed)) / sampleRate;
        log_("Quelmo: recording dropped " + std::to_string(gap) + " frames at " + clockText(at));
    }
}

std::string SetRecorder::clockText(double seconds) {
    const auto whole = static_cast<long long>(std::floor(std::max(0.0, seconds)));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

} // namespace quelmo::engine
