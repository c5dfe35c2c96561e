// Playing the deck from the keyboard as a user sees it: the nudge caption over the waveform and the
// glow on the nudged control; the keyboard lesson opened by KEYS or L on its first page, paged with
// Back and Next, closed with Done, while keys still play the deck.

#include "UiTestSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "keys/KeyboardController.h"
#include "timing/TimingController.h"
#include "keys/KeyMonitor.h"
#include "keys/LocalKeyMonitor.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using quelmo::QuelmoViewModel;
using quelmo::uitest::all;
using quelmo::uitest::Scene;

namespace {

// The application's keyboard host, in place before the deck installs its monitors.
struct KeyboardHostInstalled {
    KeyboardHostInstalled() { quelmo::installKeyboardHost(); }
    ~KeyboardHostInstalled() { quelmo::keys::keyboardHost() = {}; }
};

struct TrainerDeck {
    KeyboardHostInstalled host;
    QTemporaryDir documents;
    std::unique_ptr<QuelmoViewModel> model = [this] {
        QuelmoViewModel::Dependencies deps;
        deps.documentsDir = documents.path();
        return std::make_unique<QuelmoViewModel>(deps);
    }();
    Scene scene{QStringLiteral("QuelmoDeckView.qml"), {{QStringLiteral("model"), QVariant::fromValue<QObject*>(model.get())}}};
};

} // namespace

TEST(KeyboardTrainer, OpensOnItsFirstPagePagesThroughAndKeysStillPlay) {
    TrainerDeck deck;
    auto& scene = deck.scene;
    scene.click("KEYS");
    ASSERT_TRUE(scene.isShown("Keys & training"));
    EXPECT_TRUE(scene.isShown("Keyboard tuning"));
    EXPECT_FALSE(scene.named("Back")->isEnabled()) << "Back is off on the first page";

    // Keys still reach the deck while the lesson is open.
    QTest::keyClick(&scene.window(), ']');
    EXPECT_EQ(deck.model->timing()->bpm(), 115);

    for (const char* title : {"One mix path", "Imports, YouTube & the wave", "Hands-on path", "Shortcut map",
                              "Every monitored key"}) {
        scene.click("Next");
        EXPECT_TRUE(scene.isShown(title)) << title;
    }
    EXPECT_FALSE(scene.isShown("Next"));
    // Items of a popup live under the window's overlay, not under the view that declares the popup.
    auto* rows = quelmo::uitest::findItem(scene.window().contentItem(), "allKeysRows");
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->property("count").toInt(), 29);
    scene.click("Back");
    EXPECT_TRUE(scene.isShown("Shortcut map"));
    scene.click("Next");
    QTest::keyClick(&scene.window(), 'l'); // L with the lesson open leaves it where it is
    EXPECT_TRUE(scene.isShown("Every monitored key"));
    EXPECT_FALSE(deck.model->keyboard()->keyboardTrainerRequested());
    scene.click("Done");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !scene.isShown("Keys & training"); }));

    QTest::keyClick(&scene.window(), 'l');
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.isShown("Keys & training"); }));
    EXPECT_TRUE(scene.isShown("Keyboard tuning")) << "every opening starts on the first page";
}

TEST(KeyboardView, ANudgeCaptionsTheWaveformAndMarksItsControlUntilItSettles) {
    TrainerDeck deck;
    auto& scene = deck.scene;
    QTest::keyClick(&scene.window(), ']');
    EXPECT_TRUE(QTest::qWaitFor([&] { return scene.isShown(u8"Tempo ↑"); }, 500)) << "the caption fades in";
    EXPECT_TRUE(scene.isShown("115 BPM"));
    const auto badges = all(scene, "tuningPulseBadge");
    ASSERT_EQ(badges.size(), 1) << "only the tempo block is marked";
    QQuickItem* tempoBlock = badges.first()->parentItem()->parentItem();
    EXPECT_TRUE(QTest::qWaitFor([&] { return tempoBlock->scale() > 1.0; }, 300)) << "the block grows";
    EXPECT_TRUE(QTest::qWaitFor([&] { return all(scene, "tuningPulseBadge").isEmpty(); }, 1000))
        << "the mark settles after a third of a second";
    EXPECT_TRUE(QTest::qWaitFor([&] { return !scene.isShown(u8"Tempo ↑"); }, 2500)) << "the caption goes after 1.25 s";
}
