#include "midi/MidiController.h"

#include "engine/devices/AlsaSequencerInput.h"
#include "midi/MidiPads.h"
#include "shared/Log.h"

namespace quelmo {

MidiController::MidiController(PadHit onPadHit, QObject* parent)
    : QObject(parent)
    , pads_(std::make_unique<midi::MidiPads>()) {
    // The hit itself goes the way of a key press: the pad's player queue, at the note's level.
    connect(pads_.get(), &midi::MidiPads::padHit, this, [onPadHit = std::move(onPadHit)](int pad, float gain, const QString& caption) {
        if (onPadHit) {
            onPadHit(pad, gain, caption);
        }
    });
    connect(pads_.get(), &midi::MidiPads::devicesChanged, this, &MidiController::midiDevicesChanged);
    connect(pads_.get(), &midi::MidiPads::lastNoteChanged, this, &MidiController::midiLastNoteChanged);
    connect(pads_.get(), &midi::MidiPads::learnPadChanged, this, &MidiController::midiLearnPadChanged);
    connect(pads_.get(), &midi::MidiPads::mappingChanged, this, &MidiController::midiPadNotesChanged);
}

MidiController::~MidiController() { stopInput(); }

void MidiController::startMidiInput() {
    if (input_ || opening_.valid()) {
        return;
    }
    midi::MidiPads* pads = pads_.get();
    engine::AlsaSequencerInput::Callbacks callbacks;
    callbacks.portAdded = [pads](engine::AlsaSequencerInput::PortId port, const std::string& name) {
        pads->portAppeared(port, QString::fromStdString(name));
    };
    callbacks.portRemoved = [pads](engine::AlsaSequencerInput::PortId port) { pads->portVanished(port); };
    callbacks.bytes = [pads](engine::AlsaSequencerInput::PortId port, const std::uint8_t* bytes, std::size_t size) {
        pads->receive(port, bytes, size);
    };
    // The result comes back through the event loop; the destructor waits for the worker first, so
    // the event never outlives this object.
    opening_ = std::async(std::launch::async, [this, callbacks = std::move(callbacks)]() mutable {
        Opened opened;
        opened.input = engine::AlsaSequencerInput::open(std::move(callbacks), &opened.error);
        QMetaObject::invokeMethod(this, &MidiController::finishOpening, Qt::QueuedConnection);
        return opened;
    });
}

void MidiController::finishOpening() {
    if (!opening_.valid()) {
        return; // stopped meanwhile
    }
    Opened opened = opening_.get();
    input_ = std::move(opened.input);
    QString status;
    if (input_) {
        status = QStringLiteral("Listening on the sequencer port Quelmo (%1:%2)")
                     .arg(input_->clientId())
                     .arg(input_->portNumber());
    } else {
        status = QStringLiteral("MIDI unavailable: %1").arg(QString::fromStdString(opened.error));
    }
    logLine(status.toStdString());
    if (status_ != status) {
        status_ = status;
        emit midiStatusChanged();
    }
}

void MidiController::stopInput() {
    if (opening_.valid()) {
        opening_.get(); // a client opened meanwhile closes here
    }
    input_.reset();
}

void MidiController::startMidiLearn(int pad) { pads_->startLearn(pad); }

void MidiController::cancelMidiLearn() { pads_->cancelLearn(); }

void MidiController::resetMidiMapping() { pads_->resetMapping(); }

QStringList MidiController::midiDevices() const { return pads_->devices(); }

QString MidiController::midiLastNote() const { return pads_->lastNote(); }

int MidiController::midiLearnPad() const { return pads_->learnPad(); }

QStringList MidiController::midiPadNotes() const { return pads_->padNotes(); }

} // namespace quelmo
