// The MIDI panel as a user meets it: the devices and last note it shows, LEARN and RESET.

#include "UiTestSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "midi/MidiController.h"
#include "midi/MidiPads.h"

#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

using quelmo::QuelmoViewModel;
using quelmo::uitest::Scene;
using quelmo::uitest::textOf;

TEST(MidiPanel, ShowsDevicesAndNotesAndLearnsAPad) {
    QSettings().remove(QStringLiteral("midi"));
    QuelmoViewModel model;
    Scene panel{QStringLiteral("MidiPanel.qml"), {{QStringLiteral("model"), QVariant::fromValue<QObject*>(&model)}},
                {1100, 400}};
    auto& input = model.midi()->midiPads();
    // Opening the sequencer was tried when the panel showed; where it failed, the panel says why.
    QTRY_VERIFY(!model.midi()->midiStatus().isEmpty());
    EXPECT_EQ(textOf(panel.root(), "midiStatusText"), model.midi()->midiStatus());
    EXPECT_EQ(textOf(panel.root(), "midiDevicesText"), "No MIDI devices connected");
    EXPECT_TRUE(panel.isShown("1 Kick  C2 (36)"));

    input.portAppeared(0x1800, "nanoPAD2 MIDI 1 (24:0)");
    QTRY_COMPARE(textOf(panel.root(), "midiDevicesText"), QStringLiteral(u"DEVICES  nanoPAD2 MIDI 1 (24:0)"));

    panel.click("Pad 3 LEARN");
    EXPECT_EQ(model.midi()->midiLearnPad(), 2);
    EXPECT_TRUE(panel.isShown("Pad 3 WAITING"));
    EXPECT_EQ(textOf(panel.root(), "midiStatusText"), "Play a note on your controller for pad 3.");
    const std::uint8_t note[] = {0x90, 60, 90};
    input.receive(0x1800, note, sizeof note);
    QTRY_COMPARE(model.midi()->midiLearnPad(), -1);
    EXPECT_EQ(textOf(panel.root(), "midiLastNoteText"), QStringLiteral(u"LAST NOTE  C4 · note 60 · velocity 90 → pad 3"));
    EXPECT_TRUE(panel.isShown("3 Hat  C4 (60)"));
    EXPECT_TRUE(panel.isShown("Pad 3 LEARN"));

    // A second press cancels a LEARN the user changed their mind about.
    panel.click("Pad 5 LEARN");
    panel.click("Pad 5 WAITING");
    EXPECT_EQ(model.midi()->midiLearnPad(), -1);

    panel.click("MIDI RESET");
    EXPECT_TRUE(panel.isShown("3 Hat  D2 (38)"));
    input.portVanished(0x1800);
    QTRY_COMPARE(textOf(panel.root(), "midiDevicesText"), QStringLiteral("No MIDI devices connected"));
    model.shutdown();
}
