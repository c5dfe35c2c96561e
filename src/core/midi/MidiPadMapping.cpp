#include "midi/MidiPadMapping.h"

#include <algorithm>

namespace quelmo::midi {
namespace {

bool validNote(int note) { return note >= 0 && note <= 127; }

} // namespace

MidiPadMapping::MidiPadMapping() { reset(); }

bool MidiPadMapping::fromNotes(std::span<const int> notes, MidiPadMapping& out) {
    if (notes.size() != static_cast<std::size_t>(padCount)) {
        return false;
    }
    MidiPadMapping mapping;
    mapping.notes_.fill(noNote);
    for (int pad = 0; pad < padCount; ++pad) {
        const int note = notes[static_cast<std::size_t>(pad)];
        if (note == noNote) {
            continue;
        }
        if (!validNote(note) || mapping.padForNote(note) >= 0) {
            return false;
        }
        mapping.notes_[static_cast<std::size_t>(pad)] = note;
    }
    out = mapping;
    return true;
}

int MidiPadMapping::padForNote(int note) const {
    if (!validNote(note)) {
        return -1;
    }
    const auto it = std::find(notes_.begin(), notes_.end(), note);
    return it == notes_.end() ? -1 : static_cast<int>(it - notes_.begin());
}

int MidiPadMapping::noteForPad(int pad) const {
    return pad >= 0 && pad < padCount ? notes_[static_cast<std::size_t>(pad)] : noNote;
}

bool MidiPadMapping::assign(int pad, int note) {
    if (pad < 0 || pad >= padCount || !validNote(note)) {
        return false;
    }
    std::replace(notes_.begin(), notes_.end(), note, noNote);
    notes_[static_cast<std::size_t>(pad)] = note;
    return true;
}

void MidiPadMapping::reset() {
    for (int pad = 0; pad < padCount; ++pad) {
        notes_[static_cast<std::size_t>(pad)] = firstDefaultNote + pad;
    }
}

} // namespace quelmo::midi
