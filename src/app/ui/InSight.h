#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

class QQuickWindow;

namespace quelmo {

// Some of the item lies inside its window and inside every clipping ancestor (a scroll view).
bool liesOnScreen(const QQuickItem& item);

// Attached to any item: `InSight.seen` is true while some of the item can be seen: it is visible,
// it lies on screen (see liesOnScreen) and its window is shown, exposed and not minimised. A view
// binds what follows the sound (a meter, a playhead, the sequencer's step) through it, so that
// what nobody can see changes nothing and asks the renderer for no frame.
//
// It is checked at every frame its window draws (scrolling, resizing and anything moving draw
// frames), and when the window is shown, hidden, exposed or minimised; between frames nothing on
// screen has moved, so there is nothing to check.
class InSight : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("InSight is attached to items: InSight.seen")
    QML_ATTACHED(InSight)
    Q_PROPERTY(bool seen READ seen NOTIFY seenChanged)

public:
    explicit InSight(QQuickItem* item);
    bool seen() const { return seen_; }
    static InSight* qmlAttachedProperties(QObject* object);

signals:
    void seenChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followWindow(QQuickWindow* window);
    void check();

    QPointer<QQuickItem> item_;
    QPointer<QQuickWindow> window_;
    QMetaObject::Connection frames_, shown_, visibility_;
    bool seen_ = false;
};

} // namespace quelmo
