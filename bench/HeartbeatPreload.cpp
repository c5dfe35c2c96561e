// A heartbeat for the real application, loaded into it with LD_PRELOAD; the application itself
// is not changed. When QUELMO_BENCH_HEARTBEAT_FILE is set, a precise 5 ms timer on the main thread,
// started as the application object is created, stamps CLOCK_MONOTONIC for
// QUELMO_BENCH_HEARTBEAT_SECONDS (10 unless set); then the stamps go to that file, one beat a line:
// CLOCK_MONOTONIC and the main thread's own CPU time (CLOCK_THREAD_CPUTIME_ID), in nanoseconds,
// after a first line "clock <CLOCK_REALTIME ns> <CLOCK_MONOTONIC ns>" taken at the same moment, so
// a script can place its own `date +%s%N` times on the same clock. The CPU time tells a gap the
// main thread spent working from one it spent waiting for a core. The first beat comes only when
// the event loop first runs, after the window's scene is loaded.

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdint>
#include <ctime>
#include <vector>

namespace {

std::int64_t nowNs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void startHeartbeat() {
    const QString path = qEnvironmentVariable("QUELMO_BENCH_HEARTBEAT_FILE");
    if (path.isEmpty()) {
        return;
    }
    bool ok = false;
    int seconds = qEnvironmentVariableIntValue("QUELMO_BENCH_HEARTBEAT_SECONDS", &ok);
    if (!ok || seconds <= 0) {
        seconds = 10;
    }
    struct Beat {
        std::int64_t at;
        std::int64_t cpu;
    };
    auto beats = std::make_shared<std::vector<Beat>>();
    beats->reserve(static_cast<std::size_t>(seconds) * 250);
    const std::int64_t realtime = nowNs(CLOCK_REALTIME);
    const std::int64_t start = nowNs(CLOCK_MONOTONIC);
    beats->push_back({start, nowNs(CLOCK_THREAD_CPUTIME_ID)});
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        const std::int64_t now = nowNs(CLOCK_MONOTONIC);
        beats->push_back({now, nowNs(CLOCK_THREAD_CPUTIME_ID)});
        if (now - start < static_cast<std::int64_t>(seconds) * 1'000'000'000) {
            return;
        }
        timer->stop();
        QByteArray text = "clock " + QByteArray::number(static_cast<qint64>(realtime)) + ' ' +
                          QByteArray::number(static_cast<qint64>(start)) + '\n';
        for (const Beat& beat : *beats) {
            text += QByteArray::number(static_cast<qint64>(beat.at)) + ' ' +
                    QByteArray::number(static_cast<qint64>(beat.cpu)) + '\n';
        }
        QFile file(path + QStringLiteral(".part"));
        if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size()) {
            file.close();
            file.rename(path);
        }
    });
    timer->start();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startHeartbeat)
