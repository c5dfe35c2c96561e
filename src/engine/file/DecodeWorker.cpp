#include "file/DecodeWorker.h"

#include <algorithm>
#include <chrono>

namespace quelmo::engine {
namespace {
// Streams keep about two seconds decoded ahead and a new job wakes the worker at once, so looking
// again every 20 ms leaves every ring nearly full; looking more often only costs wake-ups, which add
// up with many tracks playing.
constexpr auto pollInterval = std::chrono::milliseconds(20);
} // namespace

DecodeWorker& DecodeWorker::shared() {
    static DecodeWorker worker;
    return worker;
}

DecodeWorker::DecodeWorker() : thread_([this] { run(); }) {}

DecodeWorker::~DecodeWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wakeUp_.notify_one();
    thread_.join();
}

void DecodeWorker::add(std::shared_ptr<DecodeJob> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        woken_ = true;
    }
    wakeUp_.notify_one();
}

void DecodeWorker::run() {
    std::vector<std::shared_ptr<DecodeJob>> current;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wakeUp_.wait_for(lock, pollInterval, [this] { return stopping_ || woken_; });
            if (stopping_) {
                return;
            }
            woken_ = false;
            current = jobs_;
        }
        std::vector<DecodeJob*> finished;
        for (const auto& job : current) {
            if (!job->service()) {
                finished.push_back(job.get());
            }
        }
        current.clear();
        if (!finished.empty()) {
            std::lock_guard lock(mutex_);
            std::erase_if(jobs_, [&](const std::shared_ptr<DecodeJob>& job) {
                return std::find(finished.begin(), finished.end(), job.get()) != finished.end();
            });
        }
    }
}

} // namespace quelmo::engine
