#include "HexColor.h"
#include "UiTestSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

Q_IMPORT_QML_PLUGIN(QuelmoPlugin)

using quelmo::hexColor;
using quelmo::uitest::Scene;
using quelmo::uitest::textOf;

TEST(HexColor, ReadsThreeSixAndEightDigitsAndFallsBackOtherwise) {
    EXPECT_EQ(hexColor(u"#FFF"), QColor(255, 255, 255, 255));
    EXPECT_EQ(hexColor(u"1a1a2e"), QColor(0x1a, 0x1a, 0x2e, 255));
    EXPECT_EQ(hexColor(u"  #0a0a0f "), QColor(0x0a, 0x0a, 0x0f, 255));
    const QColor halfRed = hexColor(u"80FF0000");
    EXPECT_EQ(halfRed.red(), 255);
    EXPECT_EQ(halfRed.green(), 0);
    EXPECT_NEAR(halfRed.alphaF(), 0.5, 0.01);
    EXPECT_EQ(hexColor(u"12345"), QColor(1, 1, 0, 1));
    EXPECT_EQ(hexColor(u"zz"), QColor(1, 1, 0, 1));
}

// What the rings print is checked on the deck view (DeckView.RackRingsPrintTheirFormats).
TEST(RackControls, TheRingCoversTheValuesShareOfItsRange) {
    QQmlEngine engine;
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Quelmo/FXControlWithDisplay.qml")));
    std::unique_ptr<QObject> bass(
        component.createWithInitialProperties({{"value", 0.0}, {"from", -12.0}, {"to", 12.0}}));
    ASSERT_TRUE(bass) << component.errorString().toStdString();
    EXPECT_DOUBLE_EQ(bass->property("fraction").toDouble(), 0.5) << "the ring covers half the circle";
}

// The software renderer logs the region of each frame it draws; these are the rectangles of the
// last frames, read from that line.
namespace {
std::mutex drawnMutex;
QList<QRect> drawn;
QtMessageHandler previousHandler = nullptr;
void collectDrawn(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (qstrcmp(context.category, "qt.scenegraph.softwarecontext.renderer") == 0 && message.startsWith(u"render QRegion")) {
        static const QRegularExpression rect(QStringLiteral("\\((\\d+),(\\d+) (\\d+)x(\\d+)\\)"));
        const std::lock_guard lock(drawnMutex);
        for (const auto& m : rect.globalMatch(message)) {
            drawn.append(QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt()));
        }
        return;
    }
    previousHandler(type, context, message);
}
} // namespace

// A frame that changes something beside the rings leaves them as they are: each frame the software
// renderer draws over a ring is the whole ring painted again, and the rack's thirteen rings sit on
// screen while the pads and meters below them move.
TEST(RackControls, AFrameThatChangesSomethingElseLeavesTheRingsUndrawn) {
    QQmlEngine engine;
    QQuickWindow window;
    window.resize(300, 100);
    QQmlComponent component(&engine);
    component.setData("import QtQuick\nimport Quelmo\n"
                      "Item { width: 300; height: 100; property alias lamp: lamp\n"
                      "  FXKnob { x: 10; y: 10; fraction: 0.4; text: \"40%\" }\n"
                      "  Rectangle { id: lamp; x: 200; y: 10; width: 40; height: 40; color: \"red\" } }",
                      QUrl(QStringLiteral("qrc:/Quelmo/RingBesideALamp.qml")));
    std::unique_ptr<QQuickItem> scene(qobject_cast<QQuickItem*>(component.create()));
    ASSERT_TRUE(scene) << component.errorString().toStdString();
    scene->setParentItem(window.contentItem());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(100);

    QLoggingCategory::setFilterRules(QStringLiteral("qt.scenegraph.softwarecontext.renderer.debug=true"));
    previousHandler = qInstallMessageHandler(collectDrawn);
    QObject* lamp = scene->property("lamp").value<QObject*>();
    for (const char* colour : {"green", "blue", "yellow"}) {
        lamp->setProperty("color", QColor(QLatin1String(colour)));
        QSignalSpy drawnFrame(&window, &QQuickWindow::afterRendering);
        ASSERT_TRUE(drawnFrame.wait(2000)) << "a frame for the lamp's colour";
    }
    qInstallMessageHandler(previousHandler);
    QLoggingCategory::setFilterRules(QString());

    const std::lock_guard lock(drawnMutex);
    ASSERT_FALSE(drawn.isEmpty()) << "the renderer said what it drew";
    const QRect ring(10, 10, 70, 70);
    const QRect lampArea(200, 10, 40, 40);
    for (const QRect& r : std::as_const(drawn)) {
        EXPECT_TRUE(r.intersects(lampArea)) << "a frame drew only the lamp";
        EXPECT_FALSE(r.intersects(ring)) << "a ring was drawn again at " << r.x() << "," << r.y() << " "
                                         << r.width() << "x" << r.height();
    }
    scene.reset();
}

TEST(DrumPad, ShowsItsLabelsAsGivenAndStaysPressedForATenthOfASecondFromTheFirstTap) {
    quelmo::QuelmoViewModel model;
    Scene deck(QStringLiteral("PerformancePadsPanel.qml"), {{"model", QVariant::fromValue(&model)}});
    QQuickItem* kick = deck.named("Kick pad");
    ASSERT_TRUE(kick);
    EXPECT_EQ(textOf(kick, "padLabel"), "Kick");
    EXPECT_EQ(textOf(kick, "padKey"), "q");
    EXPECT_EQ(textOf(deck.named("Hat pad"), "padKey"), "e");

    QSignalSpy hits(kick, SIGNAL(triggered()));
    QElapsedTimer clock;
    deck.click("Kick pad");
    clock.start();
    EXPECT_TRUE(kick->property("isPressed").toBool()) << "pressed at the tap";
    QTest::qWait(50);
    deck.click("Kick pad");
    const qint64 secondTap = clock.elapsed();
    EXPECT_TRUE(kick->property("isPressed").toBool());
    EXPECT_EQ(hits.count(), 2) << "both taps fire";
    while (kick->property("isPressed").toBool() && clock.elapsed() < 1000) {
        QTest::qWait(2);
    }
    const qint64 released = clock.elapsed();
    EXPECT_GE(released, 95);
    // Had the second tap lengthened the look, it would end 0.1 s after that tap.
    EXPECT_LT(released, 100 + secondTap / 2) << "released " << released << " ms after the first tap, "
                                             << secondTap << " ms after it came the second";
}

TEST(Triangle, DrawsInItsOwnBoxWhateverItsParent) {
    QQmlEngine engine;
    QQuickWindow window;
    window.resize(400, 60);
    window.setColor(Qt::black);
    QQmlComponent component(&engine);
    component.setData("import QtQuick\nimport Quelmo\n"
                      "Item { width: 400; height: 60\n"
                      "  Triangle { x: 100; y: 20; width: 14; height: 10; fill: \"#ff0000\" } }",
                      QUrl(QStringLiteral("qrc:/Quelmo/TriangleInAWideView.qml")));
    std::unique_ptr<QQuickItem> scene(qobject_cast<QQuickItem*>(component.create()));
    ASSERT_TRUE(scene) << component.errorString().toStdString();
    scene->setParentItem(window.contentItem());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage image = window.grabWindow();
    const auto red = [&](int x, int y) { return image.pixelColor(x, y).red() > 200 && image.pixelColor(x, y).green() < 60; };
    EXPECT_TRUE(red(107, 28)) << "filled just above the middle of its bottom edge";
    EXPECT_TRUE(red(107, 22)) << "and below its apex";
    EXPECT_FALSE(red(101, 21)) << "the top corners stay empty";
    EXPECT_FALSE(red(112, 21));
    int outside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            outside += red(x, y) && (x < 100 || x >= 114 || y < 20 || y >= 30);
        }
    }
    EXPECT_EQ(outside, 0) << "nothing is drawn outside its 14 x 10 box";
    scene.reset();
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt Quick's own renderer: no GPU needed, and windows can be grabbed.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QGuiApplication app(argc, argv);
    // Settings the views change (the MIDI mapping, the setup flag) go to a folder of this run's own,
    // never the user's, and every run starts from none. It is set before the first settings store
    // is made, for the application's store is made once per process.
    QTemporaryDir settingsHome;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome.path());
    QCoreApplication::setOrganizationName(QStringLiteral("QuelmoTests"));
    QCoreApplication::setApplicationName(QStringLiteral("QuelmoTests"));
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
