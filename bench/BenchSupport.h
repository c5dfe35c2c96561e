#pragma once

// Small pieces the deck's bench programs share: running the event loop until something holds, the
// process's own CPU time, and the main thread's heartbeat.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QProcess>
#include <QThread>
#include <QList>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace quelmo::bench {

// Runs the event loop until done() holds or limitMs pass; false on the limit.
inline bool waitUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limitMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for ms milliseconds.
inline void spin(int ms) {
    waitUntil([] { return false; }, ms);
}

// Runs a real event loop, which sleeps until its next event, until done() holds (checked every
// checkMs) or limitMs pass; false on the limit. Unlike waitUntil() it costs the main thread nothing
// between events, so a figure taken meanwhile is the deck's own.
inline bool runUntil(const std::function<bool()>& done, int limitMs, int checkMs = 20) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    bool held = false;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) {
            held = true;
            loop.quit();
        }
    });
    check.start(checkMs);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return held;
}

// Runs a real event loop for ms milliseconds.
inline void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline std::int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// User plus system CPU seconds of the whole process (every thread) so far.
inline double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The main thread's pulse: a precise timer every intervalMs stamps CLOCK_MONOTONIC; the gaps
// between stamps show how long the main thread was kept from its event loop.
class Heartbeat {
public:
    explicit Heartbeat(int intervalMs) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { stamps_.push_back(monotonicNs()); });
    }

    void start() {
        stamps_.clear();
        stamps_.reserve(1 << 16);
        timer_.start();
    }
    void stop() { timer_.stop(); }

    // Milliseconds between consecutive beats, sorted.
    std::vector<double> sortedGapsMs() const {
        std::vector<double> gaps;
        for (std::size_t i = 1; i < stamps_.size(); ++i) {
            gaps.push_back(static_cast<double>(stamps_[i] - stamps_[i - 1]) / 1e6);
        }
        std::sort(gaps.begin(), gaps.end());
        return gaps;
    }

private:
    QTimer timer_;
    std::vector<std::int64_t> stamps_;
};

// The value below which `share` (0..1) of the sorted values lie; 0 for none.
inline double percentile(const std::vector<double>& sorted, double share) {
    if (sorted.empty()) {
        return 0.0;
    }
    const auto index = static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

// The files named on the command line from argv[first] on, as URLs.
inline QList<QUrl> fileUrlsFrom(int argc, char** argv, int first) {
    QList<QUrl> urls;
    for (int i = first; i < argc; ++i) {
        urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    }
    return urls;
}

// Builds and starts the deck's graph on the sound server; false, said on stderr, when none answers.
template <typename Deck>
bool startDeck(Deck& deck) {
    deck.prepareAudioEngineIfNeeded();
    if (!deck.audioEngine().isRunning()) {
        std::fprintf(stderr, "no sound server: set PULSE_SERVER\n");
        return false;
    }
    return true;
}

// The whole process's CPU over `seconds` of the running event loop, as a share of one core, and the
// times the deck's output ran dry meanwhile.
struct DeckFigures {
    double cpuShare = 0.0;
    std::uint64_t underflows = 0;
};
template <typename Deck>
DeckFigures measureDeck(Deck& deck, int seconds) {
    const auto dry = deck.audioEngine().driver().underflows();
    const double cpu = processCpuSeconds();
    const std::int64_t start = monotonicNs();
    runFor(seconds * 1000);
    const double wall = static_cast<double>(monotonicNs() - start) / 1e9;
    return {(processCpuSeconds() - cpu) / wall, deck.audioEngine().driver().underflows() - dry};
}

// Two `sha256sum /dev/zero` keeping both cores busy while it lives; started() says whether they run.
class BusyLoad {
public:
    BusyLoad() {
        for (auto& busy : load_) {
            busy.setStandardOutputFile(QProcess::nullDevice());
            busy.start("sha256sum", {"/dev/zero"});
            started_ = started_ && busy.waitForStarted();
        }
    }
    ~BusyLoad() {
        for (auto& busy : load_) {
            busy.kill();
            busy.waitForFinished();
        }
    }
    bool started() const { return started_; }

private:
    QProcess load_[2];
    bool started_ = true;
};

} // namespace quelmo::bench
