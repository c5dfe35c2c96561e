#include "AudioEngine.h"

#include "devices/PulseOutputDriver.h"
#include "graph/InputNode.h"
#include "graph/MixerNode.h"
#include "graph/PlayerNode.h"
#include "graph/RestGate.h"
#include "record/SetRecorder.h"

#include <utility>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace quelmo::engine {

AudioEngine::AudioEngine(std::unique_ptr<AudioDriver> driver)
    : format_(*AudioFormat::standard(sampleRate, 2)),
      driver_(driver ? std::move(driver) : std::make_unique<PulseOutputDriver>()),
      mainMixer_(std::make_shared<MixerNode>()), inputNode_(std::make_shared<InputNode>()) {
    attach(mainMixer_);
    attach(inputNode_);
}

AudioEngine::~AudioEngine() {
    stop();
    for (const auto& node : attached_) {
        node->engine_ = nullptr;
    }
}

void AudioEngine::attach(std::shared_ptr<AudioNode> node) {
    if (!node || node->engine_) {
        return;
    }
    node->engine_ = this;
    attached_.push_back(std::move(node));
    attached_.back()->didAttach();
}

bool AudioEngine::isAttached(const AudioNode* node) const { return node && node->engine_ == this; }

void AudioEngine::disconnectOutput(AudioNode& source) {
    if (AudioNode* destination = std::exchange(source.outputNode_, nullptr)) {
        auto& inputs = destination->inputs_;
        inputs.erase(std::remove(inputs.begin(), inputs.end(), &source), inputs.end());
        destination->publishInputs();
    }
}

void AudioEngine::detach(const std::shared_ptr<AudioNode>& node) {
    if (!isAttached(node.get()) || node == mainMixer_ || node == inputNode_) {
        return;
    }
    disconnectOutput(*node);
    for (AudioNode* input : node->inputs_) {
        input->outputNode_ = nullptr;
    }
    node->inputs_.clear();
    node->publishInputs();
    node->removeTap();
    attached_.erase(std::remove(attached_.begin(), attached_.end(), node), attached_.end());
    AudioNode* raw = node.get();
    retire(node, [raw] {
        raw->engine_ = nullptr;
        raw->didDetach();
    });
}

bool AudioEngine::wouldCycle(const AudioNode* source, const AudioNode* destination) const {
    for (const AudioNode* n = destination; n; n = n->outputNode_) {
        if (n == source) {
            return true;
        }
    }
    return false;
}

bool AudioEngine::connect(const std::shared_ptr<AudioNode>& source, const std::shared_ptr<AudioNode>& destination) {
    if (!isAttached(source.get()) || !isAttached(destination.get()) || source->outputNode_ ||
        destination->inputs_.size() >= destination->maxInputs_ || wouldCycle(source.get(), destination.get())) {
        return false;
    }
    destination->inputs_.push_back(source.get());
    source->outputNode_ = destination.get();
    destination->publishInputs();
    return true;
}

std::optional<std::string> AudioEngine::start() {
    if (running_) {
        return std::nullopt;
    }
    running_ = true;
    auto error = driver_->start([this](float* const* channels, std::uint32_t frames) { render(channels, frames); });
    // A device that keeps trying runs the timeline meanwhile: the engine runs.
    if (error && !driver_->isReconnecting()) {
        running_ = false;
    }
    return error;
}

void AudioEngine::stop() {
    if (!running_) {
        return;
    }
    driver_->stop();
    running_ = false;
    suspended_ = false;
    collectRetired(true);
}

void AudioEngine::retire(std::shared_ptr<const void> object, std::function<void()> release) {
    if (!running_) {
        if (release) {
            release();
        }
        return;
    }
    // The new pointer was published before this (a release store); the epoch is read after it. A
    // store followed by a load of another variable may be reordered, even with release and acquire
    // (the store-buffering pattern): the render thread could then still read the old pointer in a
    // block this epoch does not cover. So the epoch is read with a read-modify-write, as the render
    // thread counts its blocks: all of them are ordered on the one variable. Either this read comes
    // before the increment that ends the current block, and the block after it acquires the new
    // pointer from it; or it comes after, sees that block's count, and the object waits for the
    // next block to end too. tests/model/RetireProtocol.pml checks the protocol, with a plain load
    // and with this read, on a machine that buffers stores.
    const std::uint64_t epoch = renderEpoch_.fetch_add(0, std::memory_order_acq_rel);
    retired_.push_back({epoch, std::move(object), std::move(release)});
}

void AudioEngine::collectRetired(bool everything) {
    const std::uint64_t epoch = renderEpoch_.load(std::memory_order_acquire);
    std::vector<Retired> ready;
    std::vector<Retired> waiting;
    for (auto& r : retired_) {
        (everything || r.epoch < epoch ? ready : waiting).push_back(std::move(r));
    }
    retired_ = std::move(waiting);
    for (auto& r : ready) {
        if (r.release) {
            r.release();
        }
    }
}

void AudioEngine::wake() {
    silentFrames_.store(0, std::memory_order_relaxed);
    if (!suspended_) {
        return;
    }
    suspended_ = false;
    driver_->setSuspended(false);
    if (wakeHandler_) {
        wakeHandler_();
    }
}

void AudioEngine::setKeepAwake(bool keepAwake) {
    keepAwake_ = keepAwake;
    if (keepAwake_) {
        wake();
    }
}

void AudioEngine::setOutputRecorder(std::shared_ptr<SetRecorder> recorder) {
    renderRecorder_.store(recorder.get(), std::memory_order_release);
    if (auto previous = std::exchange(outputRecorder_, std::move(recorder))) {
        retire(std::move(previous));
    }
    if (outputRecorder_) {
        wake();
    }
}

std::int64_t AudioEngine::schedulingHorizon() const {
    if (!running_) {
        return sampleTime();
    }
    return sampleTime() + requestFrames_.load(std::memory_order_relaxed) + schedulingSlackFrames;
}

void AudioEngine::dispatchEvents() {
    collectRetired(!running_);
    if (const std::uint64_t back = driver_->reconnections(); back != seenReconnections_) {
        // The capture's stream went with the sound server: open it again on the same source.
        seenReconnections_ = back;
        captureReopenError_ = inputNode_->reopenCapture().value_or(std::string{});
    }
    const auto quietFrames = static_cast<std::uint64_t>(suspendAfterSeconds * sampleRate);
    if (running_ && !suspended_ && !keepAwake_ && !outputRecorder_ && driver_->canSuspend() &&
        !inputNode_->isCapturing() && silentFrames_.load(std::memory_order_relaxed) >= quietFrames) {
        const bool idle = std::none_of(attached_.begin(), attached_.end(), [](const auto& node) {
            const auto* player = dynamic_cast<const PlayerNode*>(node.get());
            return player && player->pendingItemCount() > 0;
        });
        if (idle) {
            suspended_ = true;
            driver_->setSuspended(true);
        }
    }
    // Handlers may schedule, stop or detach; work on a snapshot of the attached players.
    std::vector<std::shared_ptr<AudioNode>> nodes = attached_;
    for (const auto& node : nodes) {
        if (auto* player = dynamic_cast<PlayerNode*>(node.get())) {
            player->dispatchCompletions();
        }
    }
}

namespace {
// Silent, or nothing a listener could hear: a tail under the floor counts toward the rest too.
bool isQuiet(const StereoBus& out, std::uint32_t frames) {
    if (out.silent) {
        return true;
    }
    for (int c = 0; c < 2; ++c) {
        const float* samples = out.channel(c);
        for (std::uint32_t i = 0; i < frames; ++i) {
            if (std::fabs(samples[i]) >= RestGate::audibleFloor) {
                return false;
            }
        }
    }
    return true;
}
} // namespace

void AudioEngine::render(float* const* channels, std::uint32_t frames) {
#if defined(__SSE__)
    _mm_setcsr(_mm_getcsr() | 0x8040); // flush denormals to zero: decaying tails must not slow the thread
#endif
    const auto began = std::chrono::steady_clock::now();
    requestFrames_.store(frames, std::memory_order_relaxed);
    std::uint32_t done = 0;
    while (done < frames) {
        const std::uint32_t n = std::min(frames - done, AudioNode::maxFramesPerPull);
        const RenderContext context{sampleTime_.load(std::memory_order_relaxed)};
        const StereoBus& out = mainMixer_->pull(context, n);
        if (isQuiet(out, n)) {
            silentFrames_.fetch_add(n, std::memory_order_relaxed);
        } else {
            silentFrames_.store(0, std::memory_order_relaxed);
        }
        std::memcpy(channels[0] + done, out.channel(0), n * sizeof(float));
        std::memcpy(channels[1] + done, out.channel(1), n * sizeof(float));
        if (SetRecorder* recorder = renderRecorder_.load(std::memory_order_acquire)) {
            const float* played[2] = {channels[0] + done, channels[1] + done};
            recorder->capture(played, n);
        }
        sampleTime_.store(context.sampleTime + n, std::memory_order_release);
        done += n;
    }
    renderEpoch_.fetch_add(1, std::memory_order_acq_rel); // see retire()

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    statBlocks_.fetch_add(1, std::memory_order_relaxed);
    statLast_.store(seconds, std::memory_order_relaxed);
    if (seconds > statMax_.load(std::memory_order_relaxed)) {
        statMax_.store(seconds, std::memory_order_relaxed);
    }
    if (seconds > statPeak_.load(std::memory_order_relaxed)) {
        statPeak_.store(seconds, std::memory_order_relaxed);
    }
}

AudioEngine::Stats AudioEngine::stats() const {
    return {statBlocks_.load(std::memory_order_relaxed), statLast_.load(std::memory_order_relaxed),
            statMax_.load(std::memory_order_relaxed)};
}

void AudioEngine::resetStats() {
    statBlocks_.store(0, std::memory_order_relaxed);
    statLast_.store(0.0, std::memory_order_relaxed);
    statMax_.store(0.0, std::memory_order_relaxed);
}

} // namespace quelmo::engine
