#pragma once

// What the library and download bench programs share: the monotonic clock, running the event loop
// for a while, the main thread's heartbeat and the summary of a set of delays.

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

inline std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline double msBetween(std::int64_t fromNs, std::int64_t toNs) { return static_cast<double>(toNs - fromNs) / 1e6; }

// User plus system CPU seconds of the whole process (every thread) so far.
inline double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs a real event loop (which sleeps between events) until done() holds, checked every checkMs,
// or limitMs pass; false on the limit. A null done() runs for the whole limit.
inline bool runEventLoop(int limitMs, const std::function<bool()>& done = {}, int checkMs = 50) {
    if (done && done()) {
        return true;
    }
    QEventLoop loop;
    bool held = false;
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done()) {
                held = true;
                loop.quit();
            }
        });
        check.start(checkMs);
    }
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return held;
}

// The value below which `share` (0..1) of the sorted values lie; 0 for none.
inline double percentile(const std::vector<double>& sorted, double share) {
    if (sorted.empty()) {
        return 0.0;
    }
    const auto index = static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
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
