#include "FramePacedItem.h"

#include "InSight.h"

#include <QQuickWindow>

#include <algorithm>

namespace quelmo {

FramePacedItem::FramePacedItem(QQuickItem* parent, int intervalMs)
    : QQuickPaintedItem(parent), intervalMs_(intervalMs) {
    clock_.start();
}

void FramePacedItem::follow() {
    const int every = std::max(1, (intervalMs_ + FrameClock::intervalMs / 2) / FrameClock::intervalMs);
    tick_ = FrameClock::shared().follow(this, every, [this] { tick(); });
}

void FramePacedItem::tick() {
    if (intervalMs_ >= restIntervalMs && clock_.nsecsElapsed() - lastInputNs_ > qint64(holdAfterMs) * 1000000) {
        held_ = true;
        updateRunning();
        return;
    }
    if (onScreen()) {
        update();
    }
}

void FramePacedItem::setFrameInterval(int intervalMs) {
    if (intervalMs_ != intervalMs) {
        intervalMs_ = intervalMs;
        if (tick_) { // at the new pace from the next tick
            disconnect(tick_);
            follow();
        }
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
    if (run == animating()) {
        return;
    }
    if (run) {
        follow();
        update();
    } else {
        disconnect(tick_);
    }
    emit animatingChanged();
}

} // namespace quelmo
