#include "SceneGeometryReport.h"

#include "shell/SignalPipe.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QSaveFile>

#include <cmath>
#include <csignal>

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

void SceneGeometryReport::ignoreRequestsForNow() { std::signal(SIGUSR1, SIG_IGN); }

SceneGeometryReport::SceneGeometryReport(QQuickWindow* window, QString path, QObject* parent)
    : QObject(parent)
    , window_(window)
    , path_(std::move(path))
    , requests_(std::make_unique<SignalPipe>(std::initializer_list<int>{SIGUSR1}, SignalPipe::Afterwards::Ignored)) {
    connect(requests_.get(), &SignalPipe::received, this, &SceneGeometryReport::writeNow);
}

SceneGeometryReport::~SceneGeometryReport() = default;

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
