#include "util/FrameClock.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QPointer>

#include <algorithm>

namespace quelmo {

FrameClock::FrameClock(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &FrameClock::tick);
}

FrameClock& FrameClock::shared() {
    static QPointer<FrameClock> clock;
    if (!clock) {
        clock = new FrameClock(QCoreApplication::instance());
    }
    return *clock;
}

QMetaObject::Connection FrameClock::follow(const QObject* receiver, int every, std::function<void()> onTick) {
    const auto step = static_cast<quint64>(std::max(1, every));
    auto connection = connect(this, &FrameClock::ticked, receiver, [step, onTick = std::move(onTick)](quint64 count) {
        if (count % step == 0) {
            onTick();
        }
    });
    if (!timer_.isActive()) {
        timer_.start();
    }
    return connection;
}

void FrameClock::tick() {
    ++count_;
    emit ticked(count_);
    // Followers leave by disconnecting or by going away: with none left the clock stops.
    if (!isSignalConnected(QMetaMethod::fromSignal(&FrameClock::ticked))) {
        timer_.stop();
    }
}

} // namespace quelmo
