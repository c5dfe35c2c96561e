#pragma once

#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <functional>

namespace quelmo {

// The one clock the deck's moving views follow: the level meters and every paced wave redraw on
// its ticks, so whatever moves at the same time lands in the same frame, and the renderer walks
// the scene once for all of them instead of once for each (with the software renderer that walk is
// most of what a frame costs). It ticks 24 times a second, the meters' rate, and only while
// someone follows it. Main thread.
class FrameClock : public QObject {
    Q_OBJECT

public:
    static constexpr int intervalMs = 42;

    // The application's clock, made on first use and gone with the application.
    static FrameClock& shared();

    // Calls onTick on every `every`-th tick (followers that ask for the same `every` tick
    // together) until the connection is disconnected or receiver is destroyed.
    QMetaObject::Connection follow(const QObject* receiver, int every, std::function<void()> onTick);

    bool isRunning() const { return timer_.isActive(); }

signals:
    void ticked(quint64 count);

private:
    explicit FrameClock(QObject* parent);
    void tick();

    QTimer timer_;
    quint64 count_ = 0;
};

} // namespace quelmo
