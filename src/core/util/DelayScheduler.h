#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace quelmo {

// Runs a function once after a delay, on the main thread, unless cancelled first. The application
// uses main-thread timers; tests use a manual scheduler that they advance by hand.
class DelayScheduler {
public:
    class Task {
    public:
        virtual ~Task() = default;
        virtual void cancel() = 0;
    };

    virtual ~DelayScheduler() = default;
    virtual std::unique_ptr<Task> schedule(std::chrono::nanoseconds delay, std::function<void()> work) = 0;
};

// Single-shot precise QTimers on the calling (main) thread.
std::shared_ptr<DelayScheduler> mainThreadScheduler();

} // namespace quelmo
