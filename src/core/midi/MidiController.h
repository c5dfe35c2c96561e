#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <future>
#include <memory>
#include <string>

namespace quelmo::engine {
class AlsaSequencerInput;
} // namespace quelmo::engine

namespace quelmo {

namespace midi {
class MidiPads;
} // namespace midi

// MIDI pad controllers as the views see them (deck.midi): the devices connected, the last note
// heard, each pad's note with LEARN, and whether the sequencer input is open or why not.
//
// Main thread only. The ALSA sequencer client runs a thread of its own that feeds the pads; they
// hand every change and hit over to the main thread.
class MidiController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList midiDevices READ midiDevices NOTIFY midiDevicesChanged)
    Q_PROPERTY(QString midiLastNote READ midiLastNote NOTIFY midiLastNoteChanged)
    // The pad (0-based) waiting for its note in LEARN, or -1.
    Q_PROPERTY(int midiLearnPad READ midiLearnPad NOTIFY midiLearnPadChanged)
    // Each pad's note, "C2 (36)".
    Q_PROPERTY(QStringList midiPadNotes READ midiPadNotes NOTIFY midiPadNotesChanged)
    // Whether MIDI input is open, or why not.
    Q_PROPERTY(QString midiStatus READ midiStatus NOTIFY midiStatusChanged)

public:
    // A note-on hit pad (0-based) at gain (0..1); caption names the note for the perform card.
    using PadHit = std::function<void(int pad, float gain, const QString& caption)>;

    explicit MidiController(PadHit onPadHit, QObject* parent = nullptr);
    // The sequencer client goes first: its thread feeds the pads.
    ~MidiController() override;

    // Opens the ALSA sequencer client the first time (later calls do nothing), on a worker: it is
    // a device, and the MIDI panel calls this as it first shows. The status says how it went once
    // it has. LEARN gives the next note-on to pad (0-based).
    Q_INVOKABLE void startMidiInput();
    Q_INVOKABLE void startMidiLearn(int pad);
    Q_INVOKABLE void cancelMidiLearn();
    Q_INVOKABLE void resetMidiMapping();
    // Closes the sequencer client (the deck's shutdown).
    void stopInput();

    QStringList midiDevices() const;
    QString midiLastNote() const;
    int midiLearnPad() const;
    QStringList midiPadNotes() const;
    QString midiStatus() const { return status_; }
    // Where MIDI input enters: the sequencer client feeds it, and tests may.
    midi::MidiPads& midiPads() { return *pads_; }

signals:
    void midiDevicesChanged();
    void midiLastNoteChanged();
    void midiLearnPadChanged();
    void midiPadNotesChanged();
    void midiStatusChanged();

private:
    struct Opened {
        std::unique_ptr<engine::AlsaSequencerInput> input;
        std::string error;
    };
    void finishOpening();

    std::unique_ptr<midi::MidiPads> pads_;
    std::unique_ptr<engine::AlsaSequencerInput> input_;
    std::future<Opened> opening_; // waited for before input_ and pads_ go
    QString status_;
};

} // namespace quelmo
