#include "deck/QuelmoViewModel.h"

#include "engine/devices/AlsaSequencerInput.h"
#include "midi/MidiPads.h"
#include "util/Log.h"

namespace quelmo {

void QuelmoViewModel::setupMidi() {
    midiPads_ = std::make_unique<midi::MidiPads>();
    // The hit itself goes the way of a key press: the pad's player queue, at the note's level.
    connect(midiPads_.get(), &midi::MidiPads::padHit, this,
            [this](int pad, float gain, const QString& caption) { triggerPad(pad, gain, true, caption); });
    connect(midiPads_.get(), &midi::MidiPads::devicesChanged, this, &QuelmoViewModel::midiDevicesChanged);
    connect(midiPads_.get(), &midi::MidiPads::lastNoteChanged, this, &QuelmoViewModel::midiLastNoteChanged);
    connect(midiPads_.get(), &midi::MidiPads::learnPadChanged, this, &QuelmoViewModel::midiLearnPadChanged);
    connect(midiPads_.get(), &midi::MidiPads::mappingChanged, this, &QuelmoViewModel::midiPadNotesChanged);
}

void QuelmoViewModel::startMidiInput() {
    if (midiInput_) {
        return;
    }
    midi::MidiPads* pads = midiPads_.get();
    engine::AlsaSequencerInput::Callbacks callbacks;
    callbacks.portAdded = [pads](engine::AlsaSequencerInput::PortId port, const std::string& name) {
        pads->portAppeared(port, QString::fromStdString(name));
    };
    callbacks.portRemoved = [pads](engine::AlsaSequencerInput::PortId port) { pads->portVanished(port); };
    callbacks.bytes = [pads](engine::AlsaSequencerInput::PortId port, const std::uint8_t* bytes, std::size_t size) {
        pads->receive(port, bytes, size);
    };
    std::string error;
    midiInput_ = engine::AlsaSequencerInput::open(std::move(callbacks), &error);
    QString status;
    if (midiInput_) {
        status = QStringLiteral("Listening on the sequencer port Quelmo (%1:%2)")
                     .arg(midiInput_->clientId())
                     .arg(midiInput_->portNumber());
    } else {
        status = QStringLiteral("MIDI unavailable: %1").arg(QString::fromStdString(error));
    }
    logLine(status.toStdString());
    assign(midiStatus_, status, &QuelmoViewModel::midiStatusChanged);
}

void QuelmoViewModel::startMidiLearn(int pad) { midiPads_->startLearn(pad); }

void QuelmoViewModel::cancelMidiLearn() { midiPads_->cancelLearn(); }

void QuelmoViewModel::resetMidiMapping() { midiPads_->resetMapping(); }

QStringList QuelmoViewModel::midiDevices() const { return midiPads_->devices(); }

QString QuelmoViewModel::midiLastNote() const { return midiPads_->lastNote(); }

int QuelmoViewModel::midiLearnPad() const { return midiPads_->learnPad(); }

QStringList QuelmoViewModel::midiPadNotes() const { return midiPads_->padNotes(); }

} // namespace quelmo
