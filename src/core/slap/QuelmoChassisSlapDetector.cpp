#include "slap/QuelmoChassisSlapDetector.h"

#include "engine/devices/PulseInputSource.h"
#include "util/MediaClock.h"

#include <QCoreApplication>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace quelmo {
namespace {
// Short capture fragments: a tap is analysed as soon as its block is complete.
constexpr double captureLatencySeconds = 0.005;
} // namespace

QuelmoChassisSlapDetector::QuelmoChassisSlapDetector(OnEvent onEvent)
    : QuelmoChassisSlapDetector(std::move(onEvent), Options{}) {}

QuelmoChassisSlapDetector::QuelmoChassisSlapDetector(OnEvent onEvent, Options options)
    : onEvent_(std::move(onEvent)), options_(std::move(options)) {
    if (!options_.now) {
        options_.now = &steadySeconds;
    }
}

QuelmoChassisSlapDetector::~QuelmoChassisSlapDetector() { stop(); }

QString QuelmoChassisSlapDetector::statusForOpenFailure(const std::string& reason) {
    if (reason == "Access denied") {
        return QStringLiteral("Microphone denied — Settings → Privacy → Microphone");
    }
    if (reason == "No such entity" || reason == engine::PulseInputSource::notAMicrophone) {
        return QStringLiteral("No mic input");
    }
    return QStringLiteral("Mic engine: ") + QString::fromStdString(reason);
}

struct QuelmoChassisSlapDetector::Listener {
    Options options;
    QPointer<QuelmoChassisSlapDetector> owner;
    std::atomic<bool> active{false}; // frames count only once the start is accepted

    std::mutex stateLock; // guards analysis
    slap::SlapAnalysis analysis;

    // Capture thread only.
    float block[blockFrames] = {};
    std::size_t fill = 0;

    void accumulate(const float* left, std::size_t frames) {
        if (!active.load(std::memory_order_acquire)) {
            return;
        }
        while (frames > 0) {
            const std::size_t n = std::min(frames, blockFrames - fill);
            std::copy(left, left + n, block + fill);
            fill += n;
            left += n;
            frames -= n;
            if (fill == blockFrames) {
                fill = 0;
                handle(block, blockFrames);
            }
        }
    }

    void handle(const float* samples, std::size_t frames) {
        if (!samples || frames == 0) {
            return;
        }
        const float level = slap::SlapAnalysis::rms(samples, frames);
        const double now = options.now();
        const float deckEcho =
            options.deckOutput ? options.deckOutput->loudestBetween(now - slap::SlapAnalysis::echoWindowSeconds, now)
                               : 0.0f;
        bool fire = false;
        {
            std::lock_guard lock(stateLock);
            fire = analysis.analyse(level, now, deckEcho);
        }
        if (fire) {
            post(owner, QuelmoChassisSlapEvent::fired(QStringLiteral("Mic · lid tap / slap")));
        }
    }
};

void QuelmoChassisSlapDetector::start() {
    stop();
    listener_ = std::make_shared<Listener>();
    listener_->options = options_;
    listener_->owner = this;
    post(this, QuelmoChassisSlapEvent::status(QStringLiteral("Starting…")));
    const std::uint64_t attempt = ++attempt_;
    auto source = std::make_shared<engine::PulseInputSource>();
    source->setFrameConsumer([listener = listener_](const float* left, const float*, std::size_t frames) {
        listener->accumulate(left, frames);
    });
    // Opening waits on the sound server (up to its timeout): off the main thread. The answer comes
    // back on the main thread and is dropped if this detector has gone or started again meanwhile.
    const QPointer<QuelmoChassisSlapDetector> self(this);
    std::thread([self, attempt, source, name = options_.sourceName, monitors = options_.monitorsAllowed] {
        auto error = source->start(name, captureLatencySeconds, monitors);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, attempt, source, error = error.value_or(std::string{})]() mutable {
                if (self) {
                    self->opened(attempt, std::move(source), std::move(error));
                } else {
                    source->stop();
                }
            },
            Qt::QueuedConnection);
    }).detach();
}

void QuelmoChassisSlapDetector::opened(std::uint64_t attempt, std::shared_ptr<engine::PulseInputSource> source,
                                       std::string error) {
    if (attempt != attempt_) {
        source->stop(); // switched off, or started again, while it was opening
        return;
    }
    if (!error.empty()) {
        post(this, QuelmoChassisSlapEvent::status(statusForOpenFailure(error)));
        return;
    }
    micEngine_ = std::move(source);
    listener_->active.store(true, std::memory_order_release);
    post(this, QuelmoChassisSlapEvent::status(QStringLiteral("Mic on — tap or pat the lid (near mic) for kick")));
}

void QuelmoChassisSlapDetector::stop() {
    ++attempt_;
    if (listener_) {
        listener_->active.store(false, std::memory_order_release);
    }
    if (micEngine_) {
        micEngine_->stop(); // no capture callback runs after this
        micEngine_.reset();
    }
}

void QuelmoChassisSlapDetector::handleMicBuffer(const float* samples, std::size_t frames) {
    if (!listener_) {
        listener_ = std::make_shared<Listener>();
        listener_->options = options_;
        listener_->owner = this;
    }
    listener_->handle(samples, frames);
}

void QuelmoChassisSlapDetector::deliver(const QuelmoChassisSlapEvent& event) {
    if (onEvent_) {
        onEvent_(event);
    }
}

void QuelmoChassisSlapDetector::post(const QPointer<QuelmoChassisSlapDetector>& owner, QuelmoChassisSlapEvent event) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [owner, event = std::move(event)] {
            QuelmoChassisSlapDetector* detector = owner.data();
            if (detector != nullptr) {
                detector->deliver(event);
            }
        },
        Qt::QueuedConnection);
}

} // namespace quelmo
