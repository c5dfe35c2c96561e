#pragma once

#include "deck/PadBank.h"

#include <array>
#include <span>

namespace quelmo::midi {

// Which note plays which pad: one note per pad at most, a note on one pad at most. By default the
// usual pad bank, notes 36 to 43, plays pads 0 to 7 (the deck's pads 1 to 8).
class MidiPadMapping {
public:
    static constexpr int padCount = PadBank::padCount;
    static constexpr int firstDefaultNote = 36;
    static constexpr int noNote = -1;

    MidiPadMapping();
    // A mapping from its saved notes (padCount of them, each 0..127 or noNote); nothing when they
    // do not make one (wrong count, out of range, a note on two pads).
    static bool fromNotes(std::span<const int> notes, MidiPadMapping& out);

    // The pad a note plays, or -1.
    int padForNote(int note) const;
    int noteForPad(int pad) const;
    // Puts note on pad, taking it off any other pad. False, changing nothing, when out of range.
    bool assign(int pad, int note);
    void reset();
    bool isDefault() const { return *this == MidiPadMapping(); }
    const std::array<int, padCount>& notes() const { return notes_; }

    bool operator==(const MidiPadMapping&) const = default;

private:
    std::array<int, padCount> notes_;
};

} // namespace quelmo::midi
