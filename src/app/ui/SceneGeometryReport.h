#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <memory>

class QQuickItem;
class QQuickWindow;

namespace quelmo {

class SignalPipe;

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

// For the end-to-end tests (QUELMO_TEST_GEOMETRY_FILE): on each SIGUSR1 the process receives,
// writes a file listing every named item of the window, one line each, tab-separated: name, centre
// x, centre y, width, height, shown (1/0), in window coordinates rounded to whole pixels. The file is
// replaced atomically, so a reader never sees half of it. A control scrolled out of view is listed
// with shown 0 and the coordinates it would have, which tell the reader which way to scroll.
// Written only when asked, it costs nothing while the tests measure the application.
class SceneGeometryReport : public QObject {
    Q_OBJECT

public:
    // Call first thing in main when the file is wanted: until the report exists, a request is
    // ignored rather than ending the process.
    static void ignoreRequestsForNow();

    SceneGeometryReport(QQuickWindow* window, QString path, QObject* parent = nullptr);
    ~SceneGeometryReport() override;
    void writeNow();

private:
    QPointer<QQuickWindow> window_;
    QString path_;
    std::unique_ptr<SignalPipe> requests_;
};

} // namespace quelmo
