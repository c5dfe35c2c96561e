#pragma once

// What the library and download bench programs add to BenchSupport.h: running the event loop for
// a while, and a main-thread heartbeat that also stamps the thread's own CPU time.

#include "BenchSupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace quelmo::bench {

inline double msBetween(std::int64_t fromNs, std::int64_t toNs) { return static_cast<double>(toNs - fromNs) / 1e6; }

// Runs a real event loop (which sleeps between events) until done() holds, checked every checkMs,
// or limitMs pass; false on the limit. A null done() runs for the whole limit.
inline bool runEventLoop(int limitMs, const std::function<bool()>& done = {}, int checkMs = 50) {
    if (!done) {
        runFor(limitMs);
        return false;
    }
    return runUntil(done, limitMs, checkMs);
}

inline std::int64_t threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// A precise timer every intervalMs on the calling thread stamps CLOCK_MONOTONIC; a gap between two
// stamps well over the interval is how long the thread was kept from its events. The thread's own
// CPU time is stamped too: a gap's busy time is how much of it the thread spent working, the rest
// it spent waiting for a core, which other work on the machine decides.
class MainThreadPulse {
public:
    explicit MainThreadPulse(int intervalMs) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            stamps_.push_back(monotonicNs());
            cpu_.push_back(threadCpuNs());
        });
    }

    void start() {
        stamps_.clear();
        cpu_.clear();
        stamps_.reserve(1 << 16);
        cpu_.reserve(1 << 16);
        stamps_.push_back(monotonicNs());
        cpu_.push_back(threadCpuNs());
        timer_.start();
    }
    void stop() { timer_.stop(); }

    // Milliseconds between consecutive stamps, sorted.
    std::vector<double> sortedGapsMs() const {
        std::vector<double> gaps;
        for (std::size_t i = 1; i < stamps_.size(); ++i) {
            gaps.push_back(msBetween(stamps_[i - 1], stamps_[i]));
        }
        std::sort(gaps.begin(), gaps.end());
        return gaps;
    }

    // The largest busy time of any gap, milliseconds.
    double largestBusyMs() const {
        double largest = 0.0;
        for (std::size_t i = 1; i < cpu_.size(); ++i) {
            largest = std::max(largest, msBetween(cpu_[i - 1], cpu_[i]));
        }
        return largest;
    }

private:
    QTimer timer_;
    std::vector<std::int64_t> stamps_;
    std::vector<std::int64_t> cpu_;
};

} // namespace quelmo::bench
