// The deck screen as a user meets it: what the readouts say, what the buttons and sliders do.

#include "UiTestSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "timing/TimingController.h"
#include "mix/MixController.h"

#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using quelmo::MixController;
using quelmo::QuelmoViewModel;
using quelmo::uitest::Scene;
using quelmo::uitest::textOf;

namespace {

struct Deck : Scene {
    Deck() : Scene(QStringLiteral("QuelmoDeckView.qml")) {}
    QuelmoViewModel& model() { return *root()->property("model").value<QuelmoViewModel*>(); }
    // The text in the ring of the rack control whose slider carries this name.
    QString rack(const QString& title) {
        QQuickItem* slider = named(title);
        return slider ? slider->parentItem()->property("displayValue").toString() : QString();
    }
};

} // namespace

TEST(DeckView, RackRingsPrintTheirFormats) {
    Deck deck;
    auto& model = deck.model();
    struct Case {
        const char* title;
        void (MixController::*set)(double);
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"PITCH", &MixController::setPitchShift, -0.02, "0st"},
        {"SPEED", &MixController::setImportRate, 1.125, "1.12x"},
        {"DLY TIME", &MixController::setDelayTime, 0.125, "0.12s"},
        {"AIR / LIFT", &MixController::setMasterToneLiftDB, 0.25, "0.2 dB"},
        {"BASS", &MixController::setLowShelfGain, -0.4, "-0 dB"},
        {"MID / CUT", &MixController::setMidPresenceDB, -2.5, "-2 dB"},
        {"TREBLE", &MixController::setHighShelfGain, 12.0, "12 dB"},
    };
    for (const Case& c : cases) {
        (model.mix()->*c.set)(c.value);
        EXPECT_EQ(deck.rack(c.title), c.text) << c.title << " at " << c.value;
    }

    model.mix()->resetEffects();
    deck.click("BOLD PA");
    EXPECT_EQ(deck.rack("BASS"), "2 dB") << "2.5 goes to the even neighbour, as printf does";
    EXPECT_EQ(deck.rack("MID / CUT"), "4 dB");
    EXPECT_EQ(deck.rack("AIR / LIFT"), "2.2 dB");
    EXPECT_EQ(deck.rack("TREBLE"), "2 dB");
    EXPECT_EQ(deck.named("DISTORT")->parentItem()->property("displayText").toString(), "7%");
}

TEST(DeckView, LevelReadoutsShowTheIntegerPart) {
    Deck deck;
    auto& model = deck.model();
    model.timing()->setBpm(123.7);
    EXPECT_EQ(textOf(deck.root(), "bpmReadout"), "123");
    // The integer part, never rounded up: 85.7 % reads 85 %.
    model.mix()->setPadsBusLevel(0.857);
    EXPECT_EQ(textOf(deck.root(), "gainReadout"), "85%");
    model.mix()->setPostFXGain(1.099);
    EXPECT_EQ(textOf(deck.root(), "postFXReadout"), "109%");
    model.mix()->setMasterVolume(0.999);
    EXPECT_EQ(textOf(deck.root(), "masterReadout"), "99%");
    model.mix()->setImportVolume(0.857);
    EXPECT_EQ(textOf(deck.root(), "importVolumeReadout"), "85%");
}

TEST(DeckView, EveryStepOfAPercentSliderReadsAsItsOwnValue) {
    Deck deck;
    // The readout beside (or in the ring of) each stepped slider that shows a percentage.
    const auto ring = [&](const char* title) {
        return [&deck, title] { return deck.named(title)->parentItem()->property("displayText").toString(); };
    };
    const auto text = [&](const char* name) { return [&deck, name] { return textOf(deck.root(), name); }; };
    const auto display = [&](const char* title) {
        return [&deck, title] { return deck.named(title)->parentItem()->property("displayValue").toString(); };
    };
    const std::pair<const char*, std::function<QString()>> sliders[] = {
        {"Import volume", text("importVolumeReadout")}, {"PADS BUS GAIN", text("gainReadout")},
        {"Post-FX level", text("postFXReadout")},       {"REVERB", ring("REVERB")},
        {"DELAY", ring("DELAY")},                       {"FILTER", ring("FILTER")},
        {"DISTORT", ring("DISTORT")},                   {"DLY FB", ring("DLY FB")},
        {"METRO", ring("METRO")},                       {"VOICE BUS", display("VOICE BUS")},
        {"System audio level", text("systemAudioVolumeReadout")},
    };
    for (const auto& [name, readout] : sliders) {
        QQuickItem* slider = deck.named(name);
        ASSERT_TRUE(slider) << name;
        const double from = slider->property("from").toDouble();
        const double to = slider->property("to").toDouble();
        const double step = slider->property("stepSize").toDouble();
        ASSERT_EQ(step, 0.01) << name;
        const int steps = static_cast<int>(std::lround((to - from) / step));
        int wrong = 0;
        for (int k = 0; k <= steps; ++k) {
            // The value the slider itself gives for the k-th step, set the way a drag sets it.
            double value = 0;
            QMetaObject::invokeMethod(slider, "valueAt", Q_RETURN_ARG(qreal, value), Q_ARG(qreal, k * step / (to - from)));
            slider->setProperty("value", value);
            QMetaObject::invokeMethod(slider, "moved");
            const QString expected = QString::number(std::lround(from * 100) + k) + u'%';
            if (readout() != expected && ++wrong <= 3) {
                ADD_FAILURE() << name << " at step " << k << " (" << value << ") reads " << readout().toStdString()
                              << ", not " << expected.toStdString();
            }
        }
        EXPECT_EQ(wrong, 0) << name << ": steps of " << steps << " that read one less";
    }
}

TEST(DeckView, ThePostFXSliderCoversTheWholeMakeUpRange) {
    Deck deck;
    auto& model = deck.model();
    model.mix()->setPostFXGain(2.5); // where E with the up arrow can take it
    QQuickItem* slider = deck.named("Post-FX level");
    ASSERT_TRUE(slider);
    EXPECT_EQ(slider->property("to").toDouble(), 2.5);
    EXPECT_DOUBLE_EQ(slider->property("position").toDouble(), 1.0) << "the handle at the end of the track";
    EXPECT_EQ(textOf(deck.root(), "postFXReadout"), "250%");
    EXPECT_EQ(deck.drag("Post-FX level", 0.9), 2.25) << "a touch near the end keeps the gain near where it was";
    EXPECT_DOUBLE_EQ(model.mix()->postFXGain(), 2.25);
}

TEST(DeckView, TransportButtonsSayWhatTheyWillDo) {
    Deck deck;
    auto& model = deck.model();
    deck.click("PLAY");
    EXPECT_TRUE(model.timing()->isPlaying());
    ASSERT_TRUE(deck.named("PAUSE"));
    EXPECT_EQ(deck.named("PAUSE")->property("title").toString(), "PAUSE");
    deck.click("PAUSE");
    EXPECT_FALSE(model.timing()->isPlaying());
    EXPECT_TRUE(deck.isShown("PLAY"));

    deck.click("Kick step 1");
    EXPECT_TRUE(model.timing()->sequencerCell(0, 0));
    EXPECT_TRUE(deck.named("Kick step 1")->property("lit").toBool());
    deck.click("Sequencer PLAY");
    EXPECT_TRUE(model.timing()->sequencerRunning());
    EXPECT_EQ(deck.named("Sequencer STOP")->property("title").toString(), "STOP");
    deck.click("Sequencer STOP");
    EXPECT_FALSE(model.timing()->sequencerRunning());
    deck.click("CLEAR");
    EXPECT_FALSE(model.timing()->sequencerCell(0, 0));
}

TEST(DeckView, ResetAlertCancelsOrResetsEverything) {
    Deck deck;
    auto& model = deck.model();
    model.mix()->setReverbMix(0.9);
    model.mix()->setLowShelfGain(-7.0);
    EXPECT_FALSE(deck.isShown("Reset"));

    deck.click("RESET");
    ASSERT_TRUE(deck.isShown("Reset Everything?"));
    deck.click("Cancel");
    QTest::qWait(10);
    EXPECT_FALSE(deck.isShown("Reset Everything?"));
    EXPECT_EQ(model.mix()->reverbMix(), 0.9) << "Cancel changes nothing";

    deck.click("PLAY");
    deck.click("RESET");
    ASSERT_TRUE(deck.isShown("Reset Everything?")) << "the alert opens again";
    deck.click("Reset");
    QTest::qWait(10);
    EXPECT_FALSE(deck.isShown("Reset Everything?"));
    EXPECT_EQ(model.mix()->reverbMix(), 0.0);
    EXPECT_EQ(model.mix()->lowShelfGain(), 0.0);
    EXPECT_EQ(deck.rack("BASS"), "0 dB");
    EXPECT_FALSE(model.timing()->isPlaying()) << "and all playback stops";
}

TEST(DeckView, SlidersWithAStepMoveInWholeSteps) {
    Deck deck;
    auto& model = deck.model();
    const auto onStep = [](double value, double from) {
        const double steps = (value - from) / 0.01;
        return std::abs(steps - std::round(steps)) < 1e-6;
    };
    struct Case {
        const char* name;
        double (MixController::*get)() const;
        double from;
    };
    for (const Case& c : {Case{"REVERB", &MixController::reverbMix, 0.0}, Case{"BASS", &MixController::lowShelfGain, -12.0},
                          Case{"PADS BUS GAIN", &MixController::padsBusLevel, 0.0},
                          Case{"PADS BUS pan", &MixController::stereoPads, 0.0},
                          Case{"IMPORT BUS pan", &MixController::stereoImport, 0.0},
                          Case{"Post-FX level", &MixController::postFXGain, 0.25},
                          Case{"Import volume", &MixController::importVolume, 0.0}}) {
        const double before = (model.mix()->*c.get)();
        const double held = deck.drag(c.name, 0.3337);
        const double after = (model.mix()->*c.get)();
        EXPECT_NE(after, before) << c.name << " moved";
        EXPECT_TRUE(onStep(held, c.from)) << c.name << ": the handle shows " << held << " while dragged";
        EXPECT_NEAR(held, after, 1e-9) << c.name << ": and that is the value set";
    }
    const double tempo = deck.drag("Tempo", 0.4321);
    EXPECT_NEAR(tempo, std::round(tempo), 1e-6) << "whole beats per minute under the hand";
    EXPECT_NEAR(model.timing()->bpm(), tempo, 1e-6);
    const double master = deck.drag("Master level", 0.3337);
    EXPECT_FALSE(onStep(master, 0.0)) << "the master level is continuous: " << master;
    EXPECT_NEAR(model.mix()->masterVolume(), master, 1e-9);
}

// What follows the sound follows it only where it can be seen: the sequencer's grid scrolled out of
// sight, or in a hidden window, does not follow the step (so it asks the renderer for no frame),
// and takes it up again the moment it is back in view.
TEST(DeckView, TheSequencerFollowsTheStepOnlyWhereItCanBeSeen) {
    Scene deck(QStringLiteral("QuelmoDeckView.qml"), {}, {1100, 700});
    auto& timing = *deck.root()->property("model").value<QuelmoViewModel*>()->timing();
    QQuickItem* cell = quelmo::uitest::findItem(deck.root(), "cell_0_2");
    ASSERT_TRUE(cell);
    auto* view = qobject_cast<QQuickItem*>(deck.root()->findChild<QObject*>("deckScroll"));
    ASSERT_TRUE(view);
    auto* flick = view->property("contentItem").value<QQuickItem*>();
    ASSERT_TRUE(flick);
    const auto lit = [&] { return cell->property("current").toBool(); };

    timing.setSequencerStep(2);
    QTest::qWait(50);
    EXPECT_FALSE(lit()) << "the grid lies below the first screen";

    const double gridAt = cell->mapToItem(flick->property("contentItem").value<QQuickItem*>(), QPointF(0, 0)).y();
    flick->setProperty("contentY", gridAt - 200);
    EXPECT_TRUE(QTest::qWaitFor(lit, 2000)) << "scrolled into view, the cell shows the step";
    timing.setSequencerStep(3);
    EXPECT_FALSE(lit()) << "and follows it";
    timing.setSequencerStep(2);
    EXPECT_TRUE(lit());

    deck.window().hide();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !lit(); }, 2000)) << "a hidden window shows nothing";
    deck.window().show();
    EXPECT_TRUE(QTest::qWaitFor(lit, 2000));

    flick->setProperty("contentY", 0.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !lit(); }, 2000)) << "scrolled away again";
    timing.setSequencerStep(2);
    EXPECT_FALSE(lit());
}
