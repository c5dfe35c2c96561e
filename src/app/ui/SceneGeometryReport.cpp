#include "SceneGeometryReport.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSaveFile>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quelmo {

QString accessibleName(const QQuickItem* item) {
    // Accessible.* in QML attaches this object as a child of the item.
    for (const QObject* child : item->children()) {
        if (child->inherits("QQuickAccessibleAttached")) {
            return child->property("name").toString();
        }
    }
    return {};
}

namespace {

void collect(QQuickItem* item, QList<NamedItem>& out) {
    const QString name = accessibleName(item);
    if (!name.isEmpty()) {
        NamedItem named{name, item, item->mapRectToScene(QRectF(0, 0, item->width(), item->height())), false};
        QRectF inside = named.sceneRect;
        double opacity = 1.0;
        for (const QQuickItem* p = item; p; p = p->parentItem()) {
            opacity *= p->opacity();
            if (p != item && p->clip()) {
                inside &= p->mapRectToScene(p->clipRect());
            }
        }
        if (QQuickWindow* window = item->window()) {
            inside &= QRectF(0, 0, window->width(), window->height());
        }
        named.shown = item->isVisible() && opacity > 0.0 && !named.sceneRect.isEmpty() && inside == named.sceneRect;
        out.append(named);
    }
    for (QQuickItem* child : item->childItems()) {
        collect(child, out);
    }
}

} // namespace

QList<NamedItem> namedItems(QQuickItem* root) {
    QList<NamedItem> out;
    if (root) {
        collect(root, out);
    }
    return out;
}

namespace {
// The signal handler only writes a byte into this pipe; the event loop reads it.
int requestPipe[2] = {-1, -1};

void onRequest(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(requestPipe[1], &byte, 1);
}
} // namespace

void SceneGeometryReport::ignoreRequestsForNow() { std::signal(SIGUSR1, SIG_IGN); }

SceneGeometryReport::SceneGeometryReport(QQuickWindow* window, QString path, QObject* parent)
    : QObject(parent), window_(window), path_(std::move(path)) {
    if (requestPipe[0] < 0 && ::pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    requests_ = std::make_unique<QSocketNotifier>(requestPipe[0], QSocketNotifier::Read);
    connect(requests_.get(), &QSocketNotifier::activated, this, [this] {
        char drained[64];
        while (::read(requestPipe[0], drained, sizeof drained) > 0) {
        }
        writeNow();
    });
    struct sigaction action {};
    action.sa_handler = onRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &action, nullptr);
}

SceneGeometryReport::~SceneGeometryReport() { std::signal(SIGUSR1, SIG_IGN); }

void SceneGeometryReport::writeNow() {
    if (!window_) {
        return;
    }
    QByteArray text;
    for (const NamedItem& named : namedItems(window_->contentItem())) {
        const QPointF centre = named.sceneRect.center();
        text += named.name.toUtf8() + '\t' + QByteArray::number(std::lround(centre.x())) + '\t' +
                QByteArray::number(std::lround(centre.y())) + '\t' +
                QByteArray::number(std::lround(named.sceneRect.width())) + '\t' +
                QByteArray::number(std::lround(named.sceneRect.height())) + '\t' + (named.shown ? '1' : '0') + '\n';
    }
    QSaveFile file(path_);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(text);
        file.commit();
    }
}

} // namespace quelmo
