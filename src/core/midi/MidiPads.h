#pragma once

#include "midi/MidiMessageParser.h"
#include "midi/MidiPadMapping.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <unordered_map>

namespace quelmo::midi {

// MIDI controllers playing the pads: what arrives from the devices, which note plays which pad,
// LEARN, the connected devices and the last note, for the MIDI panel.
//
// Input side (portAppeared, portVanished, receive): called from one thread at a time, the MIDI
// input's own or the main one; it reads the bytes there and hands each note to the main thread
// with a queued call. Everything else is main-thread only. The mapping is kept in the settings.
class MidiPads : public QObject {
    Q_OBJECT

public:
    using PortId = std::uint32_t;

    explicit MidiPads(QObject* parent = nullptr);

    // Input side.
    void portAppeared(PortId port, const QString& name);
    void portVanished(PortId port);
    void receive(PortId port, const std::uint8_t* bytes, std::size_t size);

    // Main thread.
    QStringList devices() const;
    // "C2 · note 36 · velocity 100 → pad 1", empty before the first note.
    QString lastNote() const { return lastNote_; }
    // The pad the next note goes to, -1 when not learning.
    int learnPad() const { return learnPad_; }
    // "C2 (36)" for each pad, "—" for a pad without a note.
    QStringList padNotes() const;
    const MidiPadMapping& mapping() const { return mapping_; }

    // The next note-on from any device goes to pad (0-based) and plays it. A bad pad does nothing.
    void startLearn(int pad);
    void cancelLearn();
    // Back to notes 36 to 43 on pads 1 to 8.
    void resetMapping();

    // The hit's level for a velocity: 127 is a key press's.
    static float velocityGain(int velocity) { return static_cast<float>(velocity) / 127.0f; }

signals:
    // A note-on that plays pad (0-based) at gain (0..1); caption names the note, like "C2".
    void padHit(int pad, float gain, const QString& caption);
    void devicesChanged();
    void lastNoteChanged();
    void learnPadChanged();
    void mappingChanged();

private:
    void handleNote(const MidiNote& note);
    void saveMapping() const;

    // Input side.
    std::unordered_map<PortId, MidiMessageParser> parsers_;

    // Main thread.
    QList<QPair<PortId, QString>> devices_;
    QString lastNote_;
    int learnPad_ = -1;
    MidiPadMapping mapping_;
};

} // namespace quelmo::midi
