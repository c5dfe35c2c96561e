#include "InSight.h"

#include <QEvent>
#include <QQuickWindow>

namespace quelmo {

bool liesOnScreen(const QQuickItem& item) {
    const QQuickWindow* w = item.window();
    if (!w) {
        return false;
    }
    QRectF inside = item.mapRectToScene(item.boundingRect()) & QRectF(QPointF(0, 0), QSizeF(w->size()));
    for (const QQuickItem* p = item.parentItem(); p && !inside.isEmpty(); p = p->parentItem()) {
        if (p->clip()) {
            inside &= p->mapRectToScene(p->clipRect());
        }
    }
    return !inside.isEmpty();
}

InSight::InSight(QQuickItem* item) : QObject(item), item_(item) {
    connect(item, &QQuickItem::windowChanged, this, &InSight::followWindow);
    connect(item, &QQuickItem::visibleChanged, this, &InSight::check);
    followWindow(item->window());
}

InSight* InSight::qmlAttachedProperties(QObject* object) {
    auto* item = qobject_cast<QQuickItem*>(object);
    return item ? new InSight(item) : nullptr;
}

void InSight::followWindow(QQuickWindow* window) {
    disconnect(frames_);
    disconnect(shown_);
    disconnect(visibility_);
    if (window_) {
        window_->removeEventFilter(this);
    }
    window_ = window;
    if (window) {
        // afterAnimating comes on this (the main) thread, before each frame is synchronised.
        frames_ = connect(window, &QQuickWindow::afterAnimating, this, &InSight::check);
        shown_ = connect(window, &QWindow::visibleChanged, this, &InSight::check);
        visibility_ = connect(window, &QWindow::visibilityChanged, this, &InSight::check);
        window->installEventFilter(this);
    }
    check();
}

bool InSight::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose) {
        // The window's own handling of it first: isExposed() then tells the new state.
        QMetaObject::invokeMethod(this, &InSight::check, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void InSight::check() {
    const QQuickWindow* w = window_;
    const bool now = item_ && w && item_->isVisible() && w->isVisible() && w->isExposed() &&
                     w->visibility() != QWindow::Minimized && liesOnScreen(*item_);
    if (now != seen_) {
        seen_ = now;
        emit seenChanged();
    }
}

} // namespace quelmo
