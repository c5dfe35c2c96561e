#include "FramePacedItem.h"

#include "InSight.h"

#include <QQuickWindow>

namespace quelmo {

FramePacedItem::FramePacedItem(QQuickItem* parent, int intervalMs) : QQuickPaintedItem(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &FramePacedItem::tick);
    clock_.start();
}

void FramePacedItem::tick() {
    if (timer_.interval() >= restIntervalMs && clock_.nsecsElapsed() - lastInputNs_ > qint64(holdAfterMs) * 1000000) {
        held_ = true;
        updateRunning();
        return;
    }
    if (onScreen()) {
        update();
    }
}

void FramePacedItem::setFrameInterval(int intervalMs) {
    if (timer_.interval() != intervalMs) {
        timer_.setInterval(intervalMs); // a running timer restarts with the new interval
        emit frameIntervalChanged();
    }
    if (intervalMs < restIntervalMs && held_) {
        held_ = false; // playing: it moves whether or not anyone touches the desk
        updateRunning();
    }
}

bool FramePacedItem::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
        lastInputNs_ = clock_.nsecsElapsed();
        if (held_) {
            held_ = false;
            updateRunning();
        }
        break;
    default:
        break;
    }
    return QQuickPaintedItem::eventFilter(watched, event);
}

bool FramePacedItem::onScreen() const { return liesOnScreen(*this); }

void FramePacedItem::itemChange(ItemChange change, const ItemChangeData& data) {
    QQuickPaintedItem::itemChange(change, data);
    if (change == ItemSceneChange) {
        followWindow(data.window);
    } else if (change == ItemVisibleHasChanged) {
        updateRunning();
    }
}

void FramePacedItem::followWindow(QQuickWindow* window) {
    disconnect(windowVisible_);
    disconnect(windowVisibility_);
    if (window_) {
        window_->removeEventFilter(this);
    }
    window_ = window;
    if (window) {
        window->installEventFilter(this);
        windowVisible_ = connect(window, &QWindow::visibleChanged, this, &FramePacedItem::updateRunning);
        windowVisibility_ = connect(window, &QWindow::visibilityChanged, this, &FramePacedItem::updateRunning);
    }
    updateRunning();
}

void FramePacedItem::updateRunning() {
    QQuickWindow* w = window();
    const bool run = isVisible() && w && w->isVisible() && w->visibility() != QWindow::Minimized && !held_;
    if (run == timer_.isActive()) {
        return;
    }
    if (run) {
        timer_.start();
        update();
    } else {
        timer_.stop();
    }
    emit animatingChanged();
}

} // namespace quelmo
