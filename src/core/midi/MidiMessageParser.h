#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quelmo::midi {

// A note message as a controller sends it. A note-on of velocity 0 comes out as a note-off.
struct MidiNote {
    int channel = 0; // 0..15
    int note = 0;    // 0..127
    int velocity = 0;
    bool on = false;
};

// Reads one device's MIDI byte stream into note messages. Running status, realtime bytes between
// a message's bytes, system exclusive of any length, system common messages and stray data bytes
// are all taken as MIDI defines them; everything but notes is read past. reset() forgets a message
// cut short (its device unplugged in the middle of it).
class MidiMessageParser {
public:
    std::optional<MidiNote> feed(std::uint8_t byte);
    void reset();

private:
    std::uint8_t status_ = 0; // 0: none, so data bytes are stray
    std::uint8_t data_[2] = {0, 0};
    int count_ = 0;
    bool inSysex_ = false;
};

// "C2" for note 36: middle C (60) is C4.
std::string midiNoteName(int note);

} // namespace quelmo::midi
