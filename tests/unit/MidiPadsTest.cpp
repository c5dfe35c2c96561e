// MIDI controllers playing the pads, fed through the deck's MIDI input as the sequencer client
// feeds it: the bytes a controller sends, its ports coming and going, LEARN and the saved mapping.

#include "midi/MidiController.h"
#include "midi/MidiMessageParser.h"
#include "midi/MidiPadMapping.h"
#include "midi/MidiPads.h"
#include "support/EventLoop.h"
#include "support/OfflineDeck.h"
#include "shared/Log.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

using namespace quelmo;
using quelmo::midi::MidiNote;

namespace {

using Bytes = std::vector<std::uint8_t>;

void send(midi::MidiPads& pads, midi::MidiPads::PortId port, const Bytes& bytes) {
    pads.receive(port, bytes.data(), bytes.size());
}

struct Hit {
    int pad;
    float gain;
};

struct HitLog {
    std::vector<Hit> hits;
    explicit HitLog(midi::MidiPads& pads) {
        QObject::connect(&pads, &midi::MidiPads::padHit, &pads,
                         [this](int pad, float gain, const QString&) { hits.push_back({pad, gain}); });
    }
};

// What a fresh deck plays in its first 0.5 s after hit.
std::vector<float> renderAfter(const std::function<void(QuelmoViewModel&)>& hit) {
    test::OfflineDeck deck;
    hit(*deck.model);
    const auto out = deck.render(22050);
    const auto left = out->channel(0);
    return {left.begin(), left.end()};
}

// Sends bytes to the deck's MIDI input and waits for the note to reach the main thread.
std::function<void(QuelmoViewModel&)> midiHit(Bytes bytes) {
    return [bytes](QuelmoViewModel& model) {
        const QString before = model.midi()->midiLastNote();
        send(model.midi()->midiPads(), 1, bytes);
        ASSERT_TRUE(test::spinUntil([&] { return model.midi()->midiLastNote() != before; }));
    };
}

float peak(const std::vector<float>& samples) {
    float p = 0.0f;
    for (const float s : samples) {
        p = std::max(p, std::abs(s));
    }
    return p;
}

void clearSettings() { QSettings().remove(QStringLiteral("midi")); }

} // namespace

TEST(MidiPads, NoteOnsPlayTheirPadAtTheVelocitysLevel) {
    clearSettings();
    const auto key = renderAfter([](QuelmoViewModel& m) { m.triggerPad(0); });
    ASSERT_GT(peak(key), 0.05f);
    // Velocity 127 is exactly a key press (here on the drum channel, which plays like any other).
    EXPECT_EQ(renderAfter(midiHit({0x99, 36, 127})), key);
    EXPECT_EQ(renderAfter(midiHit({0x90, 43, 127})), renderAfter([](QuelmoViewModel& m) { m.triggerPad(7); }));

    // A softer note scales the same hit: velocity / 127 of the key press's level.
    const auto soft = renderAfter(midiHit({0x90, 36, 64}));
    EXPECT_NEAR(peak(soft), peak(key) * 64.0f / 127.0f, peak(key) * 1e-4f);

    // A note-on of velocity 0 is a note-off, and notes outside the bank play nothing; each note-on
    // still shows as the last note.
    const auto silent = renderAfter([](QuelmoViewModel& m) {
        send(m.midi()->midiPads(), 1, {0x90, 36, 0});
        midiHit({0x90, 35, 100, 44, 100})(m);
        EXPECT_EQ(m.midi()->midiLastNote(), QStringLiteral(u"G#2 · note 44 · velocity 100 → no pad"));
        midiHit({0x90, 127, 127})(m);
    });
    EXPECT_EQ(peak(silent), 0.0f);
}

TEST(MidiPads, ByteStreamsAreReadAsMidiDefines) {
    const auto notes = [](const Bytes& bytes) {
        midi::MidiMessageParser parser;
        std::vector<std::tuple<int, int, int, bool>> out;
        for (const auto byte : bytes) {
            if (const auto note = parser.feed(byte)) {
                out.emplace_back(note->channel, note->note, note->velocity, note->on);
            }
        }
        return out;
    };
    using N = std::tuple<int, int, int, bool>;
    // Running status, with realtime bytes (clock, active sensing) inside a message.
    EXPECT_EQ(notes({0x90, 36, 100, 37, 0xf8, 80, 0xfe, 38, 0}),
              (std::vector<N>{{0, 36, 100, true}, {0, 37, 80, true}, {0, 38, 0, false}}));
    // A flood of system exclusive, its data looking like notes, then a stray data pair (running
    // status ended with the exclusive), then a real note.
    Bytes flood{0xf0};
    for (int i = 0; i < 100000; ++i) {
        flood.push_back(static_cast<std::uint8_t>(i % 2 ? 100 : 36));
    }
    flood.insert(flood.end(), {0xf7, 36, 100, 0x99, 40, 127});
    EXPECT_EQ(notes(flood), (std::vector<N>{{9, 40, 127, true}}));
    // An exclusive cut short by a status byte; a system common message ending running status;
    // a message cut short by another; note-off with a release velocity; program change data.
    EXPECT_EQ(notes({0xf0, 1, 2, 0x90, 36, 1, 0xf2, 36, 100, 37, 100, 0x90, 36, 0x80, 37, 64, 0xc0, 36, 0x91, 38, 9}),
              (std::vector<N>{{0, 36, 1, true}, {0, 37, 64, false}, {1, 38, 9, true}}));
    // Data with no status at all.
    EXPECT_TRUE(notes({36, 100, 37, 100}).empty());

    midi::MidiMessageParser parser;
    EXPECT_FALSE(parser.feed(0x90));
    EXPECT_FALSE(parser.feed(36));
    parser.reset();
    EXPECT_FALSE(parser.feed(100)) << "the unplugged device's half message is forgotten";

    EXPECT_EQ(midi::midiNoteName(36), "C2");
    EXPECT_EQ(midi::midiNoteName(61), "C#4");
    EXPECT_EQ(midi::midiNoteName(0), "C-1");
}

TEST(MidiPads, MappingKeepsOneNotePerPad) {
    midi::MidiPadMapping mapping;
    EXPECT_EQ(mapping.padForNote(-1), -1);
    EXPECT_EQ(mapping.padForNote(128), -1);

    ASSERT_TRUE(mapping.assign(7, 36)); // the kick's note moves to pad 8
    EXPECT_EQ(mapping.padForNote(36), 7);
    EXPECT_EQ(mapping.noteForPad(0), midi::MidiPadMapping::noNote);
    EXPECT_FALSE(mapping.assign(8, 50));
    EXPECT_FALSE(mapping.assign(0, 128));
    EXPECT_FALSE(mapping.isDefault());

    midi::MidiPadMapping restored;
    ASSERT_TRUE(midi::MidiPadMapping::fromNotes(mapping.notes(), restored));
    EXPECT_EQ(restored, mapping);
    EXPECT_FALSE(midi::MidiPadMapping::fromNotes(std::vector<int>{36, 36, 38, 39, 40, 41, 42, 43}, restored));
    EXPECT_FALSE(midi::MidiPadMapping::fromNotes(std::vector<int>{36, 37, 38, 39, 40, 41, 42, 200}, restored));
    EXPECT_FALSE(midi::MidiPadMapping::fromNotes(std::vector<int>{36, 37}, restored));
    EXPECT_EQ(restored, mapping) << "a refused mapping leaves the target alone";
    restored.reset();
    EXPECT_TRUE(restored.isDefault());
}

TEST(MidiPads, LearnGivesTheNextNoteToThePadAndTheMappingIsKept) {
    clearSettings();
    {
        midi::MidiPads pads;
        HitLog log(pads);
        pads.startLearn(8);
        pads.startLearn(-1);
        EXPECT_EQ(pads.learnPad(), -1);
        pads.startLearn(2);
        EXPECT_EQ(pads.learnPad(), 2);
        send(pads, 5, {0x90, 60, 0}); // a note-off is not a note to learn
        send(pads, 5, {0x9a, 60, 90});
        ASSERT_TRUE(test::spinUntil([&] { return !log.hits.empty(); }));
        EXPECT_EQ(pads.learnPad(), -1);
        EXPECT_EQ(log.hits[0].pad, 2) << "the learnt note plays its new pad";
        EXPECT_FLOAT_EQ(log.hits[0].gain, 90.0f / 127.0f);
        EXPECT_EQ(pads.mapping().padForNote(60), 2);
        EXPECT_EQ(pads.mapping().padForNote(38), -1); // the panel shows it (MidiPanelTest)

        pads.startLearn(5);
        pads.cancelLearn();
        send(pads, 5, {0x90, 61, 90});
        test::spinFor(20);
        EXPECT_EQ(pads.mapping().padForNote(61), -1);
    }
    {
        midi::MidiPads pads; // a later run
        EXPECT_EQ(pads.mapping().padForNote(60), 2);
        pads.resetMapping();
        EXPECT_TRUE(pads.mapping().isDefault());
    }
    EXPECT_TRUE(midi::MidiPads().mapping().isDefault());

    QSettings().setValue(QStringLiteral("midi/padNotes"), QStringList{"36", "36", "x"});
    ScopedLogCapture capture;
    EXPECT_TRUE(midi::MidiPads().mapping().isDefault());
    EXPECT_TRUE(capture.contains("not a mapping"));
    clearSettings();
}

TEST(MidiPads, DevicesFollowTheirPortsAndAnUnplugMidMessageLeavesNothing) {
    clearSettings();
    midi::MidiPads pads;
    HitLog log(pads);
    constexpr midi::MidiPads::PortId a = 24 << 8, b = 28 << 8 | 1;
    // Fed from a thread of its own, as the sequencer client does.
    std::thread input([&] {
        pads.portAppeared(a, "nanoPAD2 MIDI 1 (24:0)");
        pads.portAppeared(b, "Keystation (28:1)");
        send(pads, a, {0x90, 36});     // a's message is cut short...
        send(pads, b, {0x90, 38, 10}); // ...while b's arrives whole...
        send(pads, a, {20});           // ...and a's ends: each port has its own stream
        send(pads, a, {0x90, 37});
        pads.portVanished(a); // unplugged in the middle of a note
        pads.portAppeared(a, "nanoPAD2 MIDI 1 (24:0)");
        send(pads, a, {100, 0xf0, 1, 2}); // the rest of the old note, then an exclusive never ended
    });
    input.join();
    ASSERT_TRUE(test::spinUntil([&] { return pads.devices().size() == 2 && log.hits.size() == 2; }));
    test::spinFor(20);
    ASSERT_EQ(log.hits.size(), 2u);
    EXPECT_EQ(log.hits[0].pad, 2);
    EXPECT_EQ(log.hits[1].pad, 0);
    EXPECT_FLOAT_EQ(log.hits[1].gain, 20.0f / 127.0f);
    EXPECT_EQ(pads.devices(), (QStringList{"Keystation (28:1)", "nanoPAD2 MIDI 1 (24:0)"}));

    pads.portVanished(b);
    pads.portVanished(b);
    ASSERT_TRUE(test::spinUntil([&] { return pads.devices().size() == 1; }));
    EXPECT_EQ(pads.devices(), QStringList{"nanoPAD2 MIDI 1 (24:0)"});
}
