#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "timing/TimingController.h"
#include "mix/MixController.h"
#include "keys/KeyMonitor.h"
#include "support/ClockedDeck.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace quelmo;
using namespace quelmo::keys;
using namespace std::chrono_literals;

namespace {

// X11 key codes are the kernel's key numbers plus 8.
constexpr std::uint32_t x11(std::uint32_t evdev) { return evdev + 8; }

KeyEvent press(int qtKey, Qt::KeyboardModifiers mods, const QString& text, std::uint32_t evdev) {
    return keyEventFromQt(qtKey, mods, text, x11(evdev), false);
}

struct KeyDeck : test::ClockedDeck {
    bool up(Qt::KeyboardModifiers mods = Qt::NoModifier) { return key(Qt::Key_Up, {}, 103, mods); }
    bool down(Qt::KeyboardModifiers mods = Qt::NoModifier) { return key(Qt::Key_Down, {}, 108, mods); }
    QString card() const { return overlay.lastCard().title + " | " + overlay.lastCard().keyCaption; }
};

} // namespace

TEST(KeyDecoding, QtPressesBecomeTheDecksKeyEvents) {
    const KeyEvent ctrlA = press(Qt::Key_A, Qt::ControlModifier, QString(QChar(1)), 30);
    EXPECT_EQ(ctrlA.keyCode, 0);
    EXPECT_EQ(ctrlA.modifiers, command);
    EXPECT_EQ(ctrlA.charactersIgnoringModifiers, "a");
    EXPECT_EQ(ctrlA.characters, "") << "a control character is not text";

    const KeyEvent shiftQ = press(Qt::Key_Q, Qt::ShiftModifier, "Q", 16);
    EXPECT_EQ(shiftQ.charactersIgnoringModifiers, "Q");
    EXPECT_EQ(shiftQ.modifiers, shift);
    EXPECT_EQ(press(Qt::Key_Q, Qt::AltModifier, "q", 16).modifiers, option);
    EXPECT_EQ(press(Qt::Key_Q, Qt::MetaModifier, "q", 16).modifiers, control);

    const KeyEvent up = press(Qt::Key_Up, Qt::NoModifier, {}, 103);
    EXPECT_EQ(up.keyCode, keyCode::upArrow);
    EXPECT_EQ(up.modifiers, numericPad | function);
    EXPECT_EQ(press(Qt::Key_Down, Qt::ShiftModifier, {}, 108).modifiers, shift | numericPad | function);
    EXPECT_EQ(press(Qt::Key_Minus, Qt::KeypadModifier, "-", 74).modifiers, numericPad);
    EXPECT_EQ(press(Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)), 1).keyCode, keyCode::escape);

    // A German layout: the key where US keyboards have Y types "z"; the character decides, the
    // position is kept.
    const KeyEvent germanZ = press(Qt::Key_Z, Qt::NoModifier, "z", 21);
    EXPECT_EQ(germanZ.charactersIgnoringModifiers, "z");
    EXPECT_EQ(germanZ.keyCode, 16);
    EXPECT_EQ(keyFallbackFromKeyCode(16), "y");
    EXPECT_EQ(keyFallbackFromKeyCode(2), "") << "no fallback for D";
}

TEST(KeyDispatch, EveryPlainKeyAndChordDoesWhatItsRowSays) {
    KeyDeck deck;
    auto& m = *deck.model;
    EXPECT_TRUE(deck.key(Qt::Key_A, QString(QChar(1)), 30, Qt::ControlModifier));
    EXPECT_EQ(deck.card(), "IMPORT | Ctrl+A");
    EXPECT_FALSE(deck.key(Qt::Key_A, "a", 30)) << "plain a is no shortcut";
    EXPECT_TRUE(deck.key(Qt::Key_Y, QString(QChar(25)), 21, Qt::ControlModifier));
    EXPECT_EQ(m.keyboard()->youtubeFocusTick(), 1);

    EXPECT_TRUE(deck.key(Qt::Key_Q, "Q", 16, Qt::ShiftModifier));
    EXPECT_EQ(deck.card(), u"PAD · KICK | Q");
    EXPECT_TRUE(deck.key(Qt::Key_Q, "q", 16, Qt::AltModifier));
    EXPECT_TRUE(deck.key(Qt::Key_1, QString(QChar(0)), 2, Qt::ControlModifier)) << "Ctrl+1 falls through to the pad";
    EXPECT_TRUE(deck.key(Qt::Key_R, "r", 19));
    EXPECT_EQ(deck.card(), u"PAD · CLAP | R") << "r without Ctrl is a pad";

    m.timing()->setBpm(62);
    EXPECT_TRUE(deck.key(Qt::Key_BracketLeft, "[", 26));
    EXPECT_EQ(m.timing()->bpm(), 60);
    deck.key(Qt::Key_BracketLeft, "[", 26);
    EXPECT_EQ(m.timing()->bpm(), 60);
    EXPECT_EQ(m.keyboard()->waveformKeyboardFXSubtitle(), "60 BPM");
    EXPECT_DOUBLE_EQ(m.keyboard()->waveformKeyboardFXMeter(), 0.08) << "the tempo meter at 60 BPM is 0, shown at its floor";

    m.mix()->setMasterVolume(0.05);
    EXPECT_TRUE(deck.key(Qt::Key_Minus, "-", 12));
    EXPECT_EQ(m.mix()->masterVolume(), 0.0);
    EXPECT_EQ(deck.overlay.lastCard().keyCaption, u"−");
    m.mix()->setMasterVolume(0.95);
    deck.key(Qt::Key_Equal, "=", 13);
    EXPECT_EQ(m.mix()->masterVolume(), 1.0);

    // Caps Lock is a modifier to the plain keys: with it, M does nothing; Space with Shift neither.
    EXPECT_FALSE(m.keyboard()->handleKeyEvent(keyEventFromQt(Qt::Key_M, Qt::NoModifier, "M", x11(50), false, true)));
    EXPECT_FALSE(deck.key(Qt::Key_Space, " ", 57, Qt::ShiftModifier));
    EXPECT_FALSE(deck.key(Qt::Key_Escape, QString(QChar(27)), 1)) << "Escape outside full-screen disco is passed on";

    EXPECT_TRUE(deck.key(Qt::Key_L, "l", 38));
    EXPECT_TRUE(m.keyboard()->keyboardTrainerRequested());

    // A pad key held down: its first press plays, the repeats are taken and play nothing.
    const std::size_t before = m.padPlayers()[0]->pendingItemCount();
    EXPECT_TRUE(deck.key(Qt::Key_1, "1", 2));
    for (int i = 0; i < 30; ++i) {
        EXPECT_TRUE(m.keyboard()->handleKeyEvent(keyEventFromQt(Qt::Key_1, Qt::NoModifier, "1", x11(2), true)));
    }
    EXPECT_EQ(m.padPlayers()[0]->pendingItemCount(), before + 1);
}

TEST(KeyDispatch, SpaceStartsTheTransportAndSStopsEverythingForGood) {
    KeyDeck deck;
    auto& m = *deck.model;
    m.prepareAudioEngineIfNeeded();
    EXPECT_TRUE(deck.key(Qt::Key_Space, " ", 57));
    EXPECT_TRUE(m.timing()->isPlaying());
    EXPECT_EQ(deck.card(), "PLAY | Space");
    EXPECT_EQ(deck.overlay.lastCard().subtitle, u"110 BPM · transport");
    m.timing()->toggleSequencer();
    deck.scheduler->advance(1s);
    EXPECT_TRUE(deck.key(Qt::Key_S, "s", 31));
    EXPECT_FALSE(m.timing()->isPlaying());
    EXPECT_FALSE(m.timing()->sequencerRunning());
    EXPECT_EQ(deck.card(), "STOP | S");
    const double playhead = m.timing()->playhead();
    const int step = m.timing()->sequencerStep();
    deck.scheduler->advance(2s);
    EXPECT_EQ(m.timing()->playhead(), playhead) << "no clock runs after S";
    EXPECT_EQ(m.timing()->sequencerStep(), step);
}

TEST(KeyDispatch, ArrowsNudgeWhatTheLastKeyArmedWithinItsWindow) {
    KeyDeck deck;
    auto& m = *deck.model;
    deck.key(Qt::Key_BracketRight, "]", 27);
    EXPECT_EQ(m.timing()->bpm(), 115);
    EXPECT_TRUE(deck.up());
    EXPECT_EQ(m.timing()->bpm(), 116);
    deck.scheduler->advance(1s);
    deck.up();
    EXPECT_EQ(m.timing()->bpm(), 117) << "still inside the window: arrows do not use the arm up";
    deck.scheduler->advance(300ms);
    const double master = m.mix()->masterVolume();
    deck.up();
    EXPECT_EQ(m.timing()->bpm(), 117);
    EXPECT_NEAR(m.mix()->masterVolume(), master + 0.02, 1e-12) << "after the window the arrow nudges master";

    deck.key(Qt::Key_T, "t", 20);
    EXPECT_EQ(deck.card(), u"PAD · BASS | T") << "t is the Bass pad and arms tempo";
    deck.key(Qt::Key_A, QString(QChar(1)), 30, Qt::ControlModifier); // a chord never re-arms
    deck.down();
    EXPECT_EQ(m.timing()->bpm(), 116);
    deck.key(Qt::Key_Z, "z", 44); // any plain key re-arms, to master
    deck.down();
    EXPECT_EQ(m.timing()->bpm(), 116);

    deck.key(Qt::Key_E, "e", 18);
    m.mix()->setPostFXGain(2.48);
    deck.up();
    EXPECT_DOUBLE_EQ(m.mix()->postFXGain(), 2.5);
    EXPECT_EQ(m.keyboard()->waveformKeyboardFXSubtitle(), u"2.50×");
    EXPECT_DOUBLE_EQ(m.keyboard()->waveformKeyboardFXMeter(), 1.0);

    deck.up(Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(m.timing()->bpm(), 117);
    EXPECT_EQ(deck.overlay.lastCard().keyCaption, u"Alt+Shift+↑");
    const double import = m.mix()->importVolume();
    deck.down(Qt::ShiftModifier);
    EXPECT_NEAR(m.mix()->importVolume(), import - 0.03, 1e-12);
    EXPECT_EQ(deck.overlay.lastCard().keyCaption, u"Shift+↓");
    EXPECT_EQ(m.keyboard()->tuningPulseTarget(), KeyboardController::TuningPulseTarget::importLevel);
    EXPECT_EQ(m.keyboard()->tuningPulseDirection(), -1);
}

TEST(KeyDispatch, TheCaptionStaysUpWhilePulsesComeAndHidesAfterTheLast) {
    KeyDeck deck;
    auto& m = *deck.model;
    const auto generation = m.keyboard()->tuningPulseGeneration();
    for (int i = 0; i < 10; ++i) {
        deck.up();
        EXPECT_TRUE(m.keyboard()->waveformKeyboardFXOn());
        deck.scheduler->advance(500ms);
    }
    EXPECT_EQ(m.keyboard()->tuningPulseGeneration(), generation + 10);
    EXPECT_TRUE(m.keyboard()->waveformKeyboardFXOn());
    deck.scheduler->advance(749ms);
    EXPECT_TRUE(m.keyboard()->waveformKeyboardFXOn());
    deck.scheduler->advance(2ms);
    EXPECT_FALSE(m.keyboard()->waveformKeyboardFXOn());
}

TEST(KeyDispatch, NothingHappensWhileTheSwitchIsOffOrTheKeyboardIsTaken) {
    KeyDeck deck;
    auto& m = *deck.model;
    int monitors = 0;
    keyboardHost().makeMonitor = [&](MonitorKind, KeyHandler) -> std::shared_ptr<KeyMonitor> {
        ++monitors;
        return std::make_shared<KeyMonitor>();
    };
    m.keyboard()->installKeyboardMonitorIfNeeded();
    EXPECT_EQ(monitors, 2);
    m.keyboard()->setKeyboardShortcutsEnabled(false);
    m.keyboard()->installKeyboardMonitorIfNeeded();
    EXPECT_EQ(monitors, 2) << "switched off, no monitor is installed";
    EXPECT_FALSE(deck.key(Qt::Key_BracketRight, "]", 27));
    EXPECT_EQ(m.timing()->bpm(), 110);

    m.keyboard()->setKeyboardShortcutsEnabled(true);
    bool taken = true;
    keyboardHost().keyboardIsTaken = [&] { return taken; };
    EXPECT_FALSE(deck.key(Qt::Key_1, "1", 2)) << "typing 1 into a text field plays nothing";
    EXPECT_FALSE(deck.up());
    taken = false;
    EXPECT_TRUE(deck.key(Qt::Key_1, "1", 2));
    keyboardHost() = {};
}
