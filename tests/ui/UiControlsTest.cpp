#include "HexColor.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(QuelmoPlugin)

using quelmo::hexColor;

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

namespace {
std::unique_ptr<QObject> make(QQmlEngine& engine, const char* file, const QVariantMap& properties) {
    QQmlComponent component(&engine, QUrl(QString("qrc:/Quelmo/") + file));
    std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
    EXPECT_TRUE(object) << component.errorString().toStdString();
    return object;
}
} // namespace

TEST(RackControls, ShowTheirValueAsTheDeckPrintsIt) {
    QQmlEngine engine;
    auto control = make(engine, "FXControl.qml", {{"value", 0.456}});
    ASSERT_TRUE(control);
    EXPECT_EQ(control->property("displayText").toString(), "45%");

    auto bass = make(engine, "FXControlWithDisplay.qml", {{"value", 0.0}, {"from", -12.0}, {"to", 12.0}});
    ASSERT_TRUE(bass);
    EXPECT_DOUBLE_EQ(bass->property("fraction").toDouble(), 0.5) << "the ring covers half the circle";
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
