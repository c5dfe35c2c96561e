#pragma once

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

#include "util/FrameClock.h"

namespace quelmo {

// A painted item that redraws its own area on the deck's frame clock (every tick, 24 a second,
// unless a subclass asks for fewer) while it can be seen: the item and its window visible and the
// window not minimised. Every paced item and the level meters follow that one clock, so all that
// moves at once is drawn in one frame. Otherwise it leaves the clock, so a hidden or minimised deck
// costs nothing; while it is scrolled out of view a tick only finds that out. At the rest pace
// (what it shows is not playing) it also holds still once its window has had no key or pointer
// input for holdAfterMs: a desk nobody touches, with nothing playing, draws nothing; the next input
// moves it again. Subclasses paint from seconds(), the time since the item was made.
class FramePacedItem : public QQuickPaintedItem {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(bool animating READ animating NOTIFY animatingChanged)
    // Milliseconds between frames while animating.
    Q_PROPERTY(int frameInterval READ frameInterval NOTIFY frameIntervalChanged)

public:
    static constexpr int frameIntervalMs = FrameClock::intervalMs;
    // A wave that shows nothing playing drifts: eight frames a second (every third tick) keep it
    // moving to the eye, and a deck left at rest costs a third of what every tick would (each frame
    // makes the renderer walk the whole scene, every track row included).
    static constexpr int restIntervalMs = 3 * FrameClock::intervalMs;
    static constexpr int holdAfterMs = 5000;

    explicit FramePacedItem(QQuickItem* parent = nullptr, int intervalMs = frameIntervalMs);
    bool animating() const { return static_cast<bool>(tick_); }
    int frameInterval() const { return intervalMs_; }

signals:
    void animatingChanged();
    void frameIntervalChanged();

protected:
    // Some of the item lies inside the window and inside every clipping ancestor (a scroll view).
    bool onScreen() const;
    // What a property change calls instead of update(): an item scrolled out of view is not
    // redrawn (its timer's next tick redraws it once it is back in view).
    void requestFrame() {
        if (isVisible() && onScreen()) {
            update();
        }
    }
    double seconds() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }
    // Rounded to a whole number of the clock's ticks.
    void setFrameInterval(int intervalMs);
    void itemChange(ItemChange change, const ItemChangeData& data) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followWindow(QQuickWindow* window);
    void updateRunning();
    void tick();

    QPointer<QQuickWindow> window_;
    qint64 lastInputNs_ = 0; // on clock_
    bool held_ = false;      // at the rest pace, untouched for holdAfterMs

    void follow();

    int intervalMs_;
    QMetaObject::Connection tick_; // following the frame clock
    QElapsedTimer clock_;
    QMetaObject::Connection windowVisible_;
    QMetaObject::Connection windowVisibility_;
};

} // namespace quelmo
