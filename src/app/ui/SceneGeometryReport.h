#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QTimer>

class QQuickItem;
class QQuickWindow;

namespace quelmo {

// The accessible name an item was given in QML (Accessible.name), or "" when it has none.
QString accessibleName(const QQuickItem* item);

struct NamedItem {
    QString name;
    QQuickItem* item = nullptr;
    QRectF sceneRect;   // the whole item, in window coordinates
    bool shown = false; // visible, not transparent, and wholly inside every clipping ancestor and the window
};

// Every item under root that has an accessible name, in tree order.
QList<NamedItem> namedItems(QQuickItem* root);

// For the end-to-end tests (QUELMO_TEST_GEOMETRY_FILE): keeps a file listing every named item of
// the window, one line each, tab-separated: name, centre x, centre y, width, height, shown (1/0),
// in window coordinates rounded to whole pixels. The file is replaced atomically a few frames after
// the scene last changed, so a reader never sees half of it. A control scrolled out of view is
// listed with shown 0 and the coordinates it would have, which tell the reader which way to scroll.
class SceneGeometryReport : public QObject {
    Q_OBJECT

public:
    SceneGeometryReport(QQuickWindow* window, QString path, QObject* parent = nullptr);
    void writeNow();

private:
    QPointer<QQuickWindow> window_;
    QString path_;
    QTimer debounce_;
};

} // namespace quelmo
