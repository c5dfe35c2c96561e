#include "HexColor.h"
#include "deck/QuelmoViewModel.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
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

// Items made by a Repeater are not QObject children of the view: walk the visual tree.
QObject* findItem(QObject* root, const QString& name) {
    auto* item = qobject_cast<QQuickItem*>(root);
    if (!item) {
        return nullptr;
    }
    if (item->objectName() == name) {
        return item;
    }
    for (QQuickItem* child : item->childItems()) {
        if (QObject* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
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

TEST(DeckPanels, TheTempoBlockAndTheStepGridFollowTheDeck) {
    QQmlEngine engine;
    quelmo::QuelmoViewModel model;
    auto tempo = make(engine, "DeckControlPanel.qml", {{"model", QVariant::fromValue(&model)}});
    ASSERT_TRUE(tempo);
    model.setBpm(123.7);
    auto* readout = tempo->findChild<QObject*>("bpmReadout");
    ASSERT_TRUE(readout);
    EXPECT_EQ(readout->property("text").toString(), "123") << "the integer part, not rounded";
    auto* slider = tempo->findChild<QObject*>("tempoSlider");
    ASSERT_TRUE(slider);
    slider->setProperty("value", 150.0);
    QMetaObject::invokeMethod(slider, "moved");
    EXPECT_EQ(model.bpm(), 150.0) << "the slider writes through setBpm";

    auto sequencer = make(engine, "SequencerPanel.qml", {{"model", QVariant::fromValue(&model)}});
    ASSERT_TRUE(sequencer);
    auto* cell = findItem(sequencer.get(), "cell_2_5");
    ASSERT_TRUE(cell);
    EXPECT_FALSE(cell->property("lit").toBool());
    model.toggleSequencerCell(2, 5);
    EXPECT_TRUE(cell->property("lit").toBool());
    model.clearSequencer();
    EXPECT_FALSE(cell->property("lit").toBool());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
