#pragma once

// Views under test live in a real (offscreen) window, so they lay out, draw and take mouse input
// the way they do on screen. Controls are found by their accessible names, as a user (or a screen
// reader) knows them.

#include "SceneGeometryReport.h"

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QVariantMap>

#include <gtest/gtest.h>

#include <memory>

// Qt Test's waiting checks report to a Qt Test run, which these tests are not: a failed one would
// return from the test without a word and the test would pass. These wait the same way and fail
// the GoogleTest test that runs them (they return from it, as an ASSERT does).
#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE
#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout)                                                    \
    do {                                                                                           \
        if (!QTest::qWaitFor([&]() { return static_cast<bool>(expr); }, timeout)) {                \
            FAIL() << "still false after " << (timeout) << " ms: " #expr;                          \
        }                                                                                          \
    } while (false)
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 5000)
#define QTRY_COMPARE_WITH_TIMEOUT(expr, expected, timeout)                                         \
    do {                                                                                           \
        (void)QTest::qWaitFor([&]() { return (expr) == (expected); }, timeout);                    \
        ASSERT_EQ(expr, expected) << "after waiting " << (timeout) << " ms";                       \
    } while (false)
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 5000)

namespace quelmo::uitest {

class Scene {
public:
    explicit Scene(const QString& file, const QVariantMap& properties = {}, QSize size = {1100, 2600});
    ~Scene();

    QQuickItem* root() const { return root_.get(); }
    QQuickWindow& window() { return window_; }
    // The named item; fails the test (and returns nullptr) when there is none or it is not on show.
    QQuickItem* named(const QString& name);
    bool isShown(const QString& name);
    void click(const QString& name);
    // Drags the handle of the named slider toward the given fraction of its track; returns the
    // value the handle shows just before it is let go (NaN when there is no such slider).
    double drag(const QString& name, double fraction);

private:
    // The named controls where the next frame shows them, as a user finds them: an item just made
    // visible sits at its old place until its layout has been polished.
    QList<NamedItem> settledNamedItems();
    QPoint centre(QQuickItem* item) const;
    QQmlEngine engine_;
    QQuickWindow window_;
    std::unique_ptr<QQuickItem> root_;
};

// A readout: the text of the item with this object name under root.
QString textOf(QQuickItem* root, const QString& objectName);
// The first item with this object name under root, on show or not; nullptr when there is none.
QQuickItem* findItem(QQuickItem* root, const QString& objectName);
// Every visible item with this object name in the scene's window, popups included, in tree order.
QList<QQuickItem*> all(Scene& scene, const QString& objectName);

} // namespace quelmo::uitest
