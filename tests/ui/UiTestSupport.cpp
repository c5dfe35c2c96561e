#include "UiTestSupport.h"

#include "SymbolIcons.h"

#include <QQmlComponent>
#include <QTest>
#include <QtQuickTest/quicktest.h>

#include <gtest/gtest.h>

#include <cmath>

namespace quelmo::uitest {

QQuickItem* findItem(QQuickItem* root, const QString& objectName) {
    if (root->objectName() == objectName) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, objectName)) {
            return found;
        }
    }
    return nullptr;
}

namespace {
void collectVisible(QQuickItem* item, const QString& objectName, QList<QQuickItem*>& out) {
    if (item->objectName() == objectName && item->isVisible()) {
        out.append(item);
    }
    for (QQuickItem* child : item->childItems()) {
        collectVisible(child, objectName, out);
    }
}
} // namespace

QList<QQuickItem*> all(Scene& scene, const QString& objectName) {
    QList<QQuickItem*> out;
    collectVisible(scene.window().contentItem(), objectName, out);
    return out;
}

Scene::Scene(const QString& file, const QVariantMap& properties, QSize size) {
    engine_.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    window_.resize(size);
    QQmlComponent component(&engine_, QUrl(QStringLiteral("qrc:/Quelmo/") + file));
    if (!component.isReady()) {
        ADD_FAILURE() << component.errorString().toStdString();
        return;
    }
    root_.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(properties)));
    if (!root_) {
        ADD_FAILURE() << component.errorString().toStdString();
        return;
    }
    root_->setParentItem(window_.contentItem());
    root_->setSize(size);
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    // A view that makes parts of itself in the background says when they are all there.
    if (root_->property("panelsLoaded").isValid()) {
        EXPECT_TRUE(QTest::qWaitFor([this] { return root_->property("panelsLoaded").toBool(); }, 10000));
    }
    QTest::qWait(20); // let layouts settle
}

Scene::~Scene() {
    // The view goes before its engine.
    root_.reset();
}

QList<NamedItem> Scene::settledNamedItems() {
    EXPECT_TRUE(QQuickTest::qWaitForPolish(&window_));
    return namedItems(window_.contentItem());
}

QQuickItem* Scene::named(const QString& name) {
    // Views may hold controls of one name in parts not on show; the one on show counts.
    bool hidden = false;
    for (const NamedItem& item : settledNamedItems()) {
        if (item.name == name) {
            if (item.shown) {
                return item.item;
            }
            hidden = true;
        }
    }
    ADD_FAILURE() << (hidden ? "\"" + name.toStdString() + "\" is not on show"
                             : "no control named \"" + name.toStdString() + "\"");
    return nullptr;
}

bool Scene::isShown(const QString& name) {
    for (const NamedItem& item : settledNamedItems()) {
        if (item.name == name && item.shown) {
            return true;
        }
    }
    return false;
}

QPoint Scene::centre(QQuickItem* item) const {
    return item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

void Scene::click(const QString& name) {
    if (QQuickItem* item = named(name)) {
        QTest::mouseClick(&window_, Qt::LeftButton, {}, centre(item));
    }
}

double Scene::drag(const QString& name, double fraction) {
    QQuickItem* slider = named(name);
    auto* handle = slider ? slider->property("handle").value<QQuickItem*>() : nullptr;
    if (!handle) {
        return std::nan("");
    }
    const QPoint from = centre(handle);
    const double left = slider->property("leftPadding").toDouble() + handle->width() / 2;
    const double span = slider->property("availableWidth").toDouble() - handle->width();
    const QPoint to = slider->mapToScene(QPointF(left + fraction * span, slider->height() / 2)).toPoint();
    QTest::mousePress(&window_, Qt::LeftButton, {}, from);
    // Past the drag threshold first, then to the place in small moves, as a hand does.
    for (int i = 1; i <= 10; ++i) {
        QTest::mouseMove(&window_, from + (to - from) * i / 10);
    }
    const double low = slider->property("from").toDouble();
    const double high = slider->property("to").toDouble();
    const double shown = low + slider->property("visualPosition").toDouble() * (high - low);
    QTest::mouseRelease(&window_, Qt::LeftButton, {}, to);
    return shown;
}

QString textOf(QQuickItem* root, const QString& objectName) {
    QQuickItem* item = findItem(root, objectName);
    if (!item) {
        ADD_FAILURE() << "no item " << objectName.toStdString();
        return {};
    }
    return item->property("text").toString();
}

} // namespace quelmo::uitest
