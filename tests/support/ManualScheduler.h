#pragma once

#include "util/DelayScheduler.h"
#include "util/MediaClock.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace quelmo::test {

// A DelayScheduler whose time moves only when the test says so.
class ManualScheduler final : public DelayScheduler {
public:
    std::unique_ptr<Task> schedule(std::chrono::nanoseconds delay, std::function<void()> work) override {
        auto entry = std::make_shared<Entry>(Entry{now_ + delay, std::move(work), false});
        entries_.push_back(entry);
        return std::make_unique<Handle>(entry);
    }

    // Moves time forward, running what falls due, in order.
    void advance(std::chrono::nanoseconds by) {
        const auto until = now_ + by;
        for (;;) {
            auto due = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
                return a->when < b->when;
            });
            if (due == entries_.end() || (*due)->when > until) {
                break;
            }
            auto entry = *due;
            entries_.erase(due);
            now_ = entry->when;
            if (!entry->cancelled) {
                entry->work();
            }
        }
        now_ = until;
    }

    std::chrono::nanoseconds now() const { return now_; }

    std::size_t pending() const {
        return static_cast<std::size_t>(
            std::count_if(entries_.begin(), entries_.end(), [](const auto& e) { return !e->cancelled; }));
    }

private:
    struct Entry {
        std::chrono::nanoseconds when;
        std::function<void()> work;
        bool cancelled;
    };
    struct Handle final : Task {
        explicit Handle(std::shared_ptr<Entry> e) : entry(std::move(e)) {}
        void cancel() override { entry->cancelled = true; }
        std::shared_ptr<Entry> entry;
    };
    std::chrono::nanoseconds now_{0};
    std::vector<std::shared_ptr<Entry>> entries_;
};

// A media clock that reads a manual scheduler's time, so timers and clock readings agree.
class ManualMediaClock final : public MediaClock {
public:
    explicit ManualMediaClock(std::shared_ptr<ManualScheduler> scheduler) : scheduler_(std::move(scheduler)) {}
    double now() const override { return std::chrono::duration<double>(scheduler_->now()).count(); }

private:
    std::shared_ptr<ManualScheduler> scheduler_;
};

} // namespace quelmo::test
