#include "midi/MidiPads.h"

#include "shared/Log.h"
#include "shared/storage/StorageManager.h"

#include <vector>

namespace quelmo::midi {
namespace {

const QString mappingKey = QStringLiteral("midi/padNotes");

QString noteCaption(int note) { return QString::fromStdString(midiNoteName(note)); }

} // namespace

MidiPads::MidiPads(QObject* parent) : QObject(parent) {
    const QStringList saved = shared::StorageManager::shared().object(mappingKey).toStringList();
    if (saved.isEmpty()) {
        return;
    }
    std::vector<int> notes;
    bool numbers = true;
    for (const QString& text : saved) {
        bool ok = false;
        notes.push_back(text.toInt(&ok));
        numbers = numbers && ok;
    }
    if (!numbers || !MidiPadMapping::fromNotes(notes, mapping_)) {
        logLine(QStringLiteral("MIDI: the saved pad notes (%1) are not a mapping; using notes 36 to 43")
                    .arg(saved.join(QLatin1Char(',')))
                    .toStdString());
    }
}

void MidiPads::portAppeared(PortId port, const QString& name) {
    parsers_[port].reset();
    QMetaObject::invokeMethod(
        this,
        [this, port, name] {
            devices_.append({port, name});
            emit devicesChanged();
        },
        Qt::QueuedConnection);
}

void MidiPads::portVanished(PortId port) {
    parsers_.erase(port); // a message it cut short is forgotten with it
    QMetaObject::invokeMethod(
        this,
        [this, port] {
            const auto removed = devices_.removeIf([port](const auto& device) { return device.first == port; });
            if (removed > 0) {
                emit devicesChanged();
            }
        },
        Qt::QueuedConnection);
}

void MidiPads::receive(PortId port, const std::uint8_t* bytes, std::size_t size) {
    MidiMessageParser& parser = parsers_[port];
    for (std::size_t i = 0; i < size; ++i) {
        const auto note = parser.feed(bytes[i]);
        if (note && note->on) {
            QMetaObject::invokeMethod(this, [this, n = *note] { handleNote(n); }, Qt::QueuedConnection);
        }
    }
}

QStringList MidiPads::devices() const {
    QStringList names;
    for (const auto& device : devices_) {
        names.append(device.second);
    }
    return names;
}

QStringList MidiPads::padNotes() const {
    QStringList captions;
    for (const int note : mapping_.notes()) {
        captions.append(note == MidiPadMapping::noNote ? QStringLiteral(u"—")
                                                       : QStringLiteral("%1 (%2)").arg(noteCaption(note)).arg(note));
    }
    return captions;
}

void MidiPads::startLearn(int pad) {
    if (pad < 0 || pad >= MidiPadMapping::padCount || pad == learnPad_) {
        return;
    }
    learnPad_ = pad;
    emit learnPadChanged();
}

void MidiPads::cancelLearn() {
    if (learnPad_ >= 0) {
        learnPad_ = -1;
        emit learnPadChanged();
    }
}

void MidiPads::resetMapping() {
    cancelLearn();
    if (mapping_.isDefault()) {
        shared::StorageManager::shared().remove(mappingKey);
        return;
    }
    mapping_.reset();
    shared::StorageManager::shared().remove(mappingKey);
    emit mappingChanged();
}

void MidiPads::handleNote(const MidiNote& note) {
    if (learnPad_ >= 0) {
        mapping_.assign(learnPad_, note.note);
        learnPad_ = -1;
        saveMapping();
        emit mappingChanged();
        emit learnPadChanged();
    }
    const int pad = mapping_.padForNote(note.note);
    const QString caption = noteCaption(note.note);
    lastNote_ = QStringLiteral(u"%1 · note %2 · velocity %3 → %4")
                    .arg(caption)
                    .arg(note.note)
                    .arg(note.velocity)
                    .arg(pad >= 0 ? QStringLiteral("pad %1").arg(pad + 1) : QStringLiteral("no pad"));
    emit lastNoteChanged();
    if (pad >= 0) {
        emit padHit(pad, velocityGain(note.velocity), caption);
    }
}

void MidiPads::saveMapping() const {
    QStringList notes;
    for (const int note : mapping_.notes()) {
        notes.append(QString::number(note));
    }
    shared::StorageManager::shared().setObject(notes, mappingKey);
}

} // namespace quelmo::midi
