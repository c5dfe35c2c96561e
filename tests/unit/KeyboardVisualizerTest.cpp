#include "timing/TimingController.h"
#include "mix/MixController.h"
#include "support/ClockedDeck.h"

#include "keys/KeyMonitor.h"

#include <map>

#include <gtest/gtest.h>

using namespace quelmo;
using namespace std::chrono_literals;

namespace {

keys::KeyEvent typed(const QString& text) {
    const int key = text.isEmpty() ? static_cast<int>(Qt::Key_Shift) : static_cast<int>(text.toUpper().front().unicode());
    return keys::keyEventFromQt(key, Qt::NoModifier, text,
                                0, false);
}

struct CountingWindow final : DiscoWindowHost {
    int shown = 0;
    int hidden = 0;
    void showDiscoWindow() override { ++shown; }
    void hideDiscoWindow() override { ++hidden; }
};

// The light show and a deck on one manual clock.
struct Show : test::ClockedDeck {
    CountingWindow window;
    Show() : ClockedDeck(true, Timers::manual, true) { visualizer->setDiscoWindowHost(&window); }
};

} // namespace

TEST(KeyboardVisualizer, EachKeyIsABubbleForOneSecondAndModifiersMakeNone) {
    Show show;
    auto& v = *show.visualizer;
    v.startMonitoring();
    v.handleKeyEvent(typed("a"));
    ASSERT_EQ(v.keyEvents().size(), 1u);
    EXPECT_EQ(v.keyEvents().front().key, "A");
    v.handleKeyEvent(typed("")); // Shift alone
    EXPECT_EQ(v.keyEvents().size(), 1u);
    for (int i = 0; i < 9; ++i) {
        show.scheduler->advance(50ms);
        v.handleKeyEvent(typed(QString::number(i)));
    }
    EXPECT_EQ(v.keyEvents().size(), 10u);
    for (const auto& e : v.keyEvents()) {
        EXPECT_TRUE(e.x >= 100 && e.x <= 800 && e.y >= 200 && e.y <= 600);
    }
    show.scheduler->advance(551ms);
    EXPECT_EQ(v.keyEvents().size(), 9u) << "the first is gone one second after its press";
    show.scheduler->advance(450ms);
    EXPECT_TRUE(v.keyEvents().empty());
}

TEST(KeyboardVisualizer, ChordsShowTheirKeyAndOtherApplicationsKeysShowOnlyAMark) {
    Show show;
    auto& v = *show.visualizer;
    std::map<keys::MonitorKind, keys::KeyHandler> monitors;
    keys::keyboardHost().makeMonitor = [&](keys::MonitorKind kind, keys::KeyHandler handler) {
        monitors[kind] = std::move(handler);
        return std::make_shared<KeyMonitor>();
    };
    v.startMonitoring();
    ASSERT_EQ(monitors.size(), 2u);
    const auto chord = [](int key, QChar letter, std::uint32_t evdev) {
        return keys::keyEventFromQt(key, Qt::ControlModifier, QString(QChar(letter.unicode() & 0x1f)), evdev + 8, false);
    };
    auto& window = monitors[keys::MonitorKind::local];
    window(chord(Qt::Key_A, u'a', 30));
    window(chord(Qt::Key_R, u'r', 19));
    window(keys::keyEventFromQt(Qt::Key_Control, Qt::ControlModifier, {}, 29 + 8, false));
    ASSERT_EQ(v.keyEvents().size(), 2u) << "one bubble per chord, none for Ctrl alone";
    EXPECT_EQ(v.keyEvents()[0].key, "A");
    EXPECT_EQ(v.keyEvents()[1].key, "R");

    auto& elsewhere = monitors[keys::MonitorKind::global];
    for (const char* typed : {"p", "4", "$"}) {
        elsewhere(keys::keyEventFromQt(0, Qt::NoModifier, QString::fromLatin1(typed), 0, false));
    }
    elsewhere(chord(Qt::Key_C, u'c', 46));
    ASSERT_EQ(v.keyEvents().size(), 6u);
    for (std::size_t i = 2; i < 6; ++i) {
        EXPECT_EQ(v.keyEvents()[i].key, QString(KeyboardVisualizerManager::otherApplicationMark))
            << "a key typed in another application never shows what it typed";
    }
    v.stopMonitoring();
    keys::keyboardHost() = {};
}

TEST(KeyboardVisualizer, TheColourCycleWrapsToZeroAndTheSpeedStaysInItsBounds) {
    Show show;
    auto& v = *show.visualizer;
    v.startMonitoring();
    for (int i = 0; i < 5; ++i) {
        v.increaseIntensity();
    }
    EXPECT_DOUBLE_EQ(v.discoIntensity(), 1.0);
    show.scheduler->advance(1s);
    EXPECT_EQ(v.hue(), 0.0) << "with disco off the hue holds";
    v.toggleDiscoMode();
    v.setHueForTest(0.995);
    show.scheduler->advance(50ms);
    EXPECT_EQ(v.hue(), 0.0) << "1.005 is past 1: back to exactly 0";
    show.scheduler->advance(50ms);
    EXPECT_DOUBLE_EQ(v.hue(), 0.01);
    EXPECT_EQ(v.lightBarColor(), hueColour(0.01));
    v.handleKeyEvent(typed("k"));
    EXPECT_EQ(v.keyEvents().back().color, hueColour(0.01)) << "in disco mode bubbles take the cycling hue";
    for (int i = 0; i < 12; ++i) {
        v.decreaseIntensity();
    }
    EXPECT_DOUBLE_EQ(v.discoIntensity(), 0.1);
    v.stopMonitoring();
    const double held = v.hue();
    show.scheduler->advance(1s);
    EXPECT_EQ(v.hue(), held) << "stopped, the hue stands still";
}

TEST(KeyboardVisualizer, DFAndEscapeDriveTheShowFromTheDeck) {
    Show show;
    auto& v = *show.visualizer;
    v.startMonitoring();
    EXPECT_TRUE(show.key(Qt::Key_D, "d", 32));
    EXPECT_TRUE(v.isDiscoMode());
    EXPECT_EQ(show.overlay.lastCard().title, u8"🪩 DISCO ON");
    const double master = show.model->mix()->masterVolume();
    EXPECT_TRUE(show.key(Qt::Key_Up, {}, 103));
    EXPECT_DOUBLE_EQ(v.discoIntensity(), 0.6);
    EXPECT_EQ(show.overlay.lastCard().subtitle, "Intensity: 60%");
    EXPECT_EQ(show.model->mix()->masterVolume(), master) << "in disco mode the plain arrows set the show's speed";
    show.key(Qt::Key_Up, {}, 103, Qt::AltModifier);
    EXPECT_EQ(show.model->timing()->bpm(), 111) << "with a modifier the arrows are the deck's again";

    EXPECT_TRUE(show.key(Qt::Key_F, "f", 33));
    EXPECT_TRUE(v.isFullScreenDisco());
    EXPECT_EQ(show.window.shown, 1);
    show.scheduler->advance(4s);
    EXPECT_TRUE(show.key(Qt::Key_F, "f", 33));
    EXPECT_FALSE(v.isFullScreenDisco());
    EXPECT_EQ(show.window.hidden, 1);
    EXPECT_EQ(show.overlay.lastCard().title, "DISCO EXIT");
    // Opened again within the ten seconds: the first window's close does not end this one early.
    show.scheduler->advance(2s);
    show.key(Qt::Key_F, "f", 33);
    EXPECT_EQ(show.window.shown, 2);
    show.scheduler->advance(9s);
    EXPECT_TRUE(v.isFullScreenDisco()) << "9 s after its own opening, 15 s after the first";
    EXPECT_EQ(show.window.hidden, 1);
    show.scheduler->advance(1s);
    EXPECT_FALSE(v.isFullScreenDisco());
    EXPECT_EQ(show.window.hidden, 2);

    show.key(Qt::Key_F, "f", 33);
    EXPECT_TRUE(show.key(Qt::Key_Escape, QString(QChar(27)), 1));
    EXPECT_FALSE(v.isFullScreenDisco());
    show.key(Qt::Key_F, "f", 33);
    show.scheduler->advance(10s);
    EXPECT_FALSE(v.isFullScreenDisco()) << "the window closes itself after ten seconds";
    EXPECT_EQ(show.window.hidden, 4);
    EXPECT_FALSE(show.key(Qt::Key_Escape, QString(QChar(27)), 1));
}
