#include "midi/MidiMessageParser.h"

#include <array>

namespace quelmo::midi {
namespace {

// Data bytes a status byte takes.
int dataLength(std::uint8_t status) {
    switch (status & 0xf0) {
    case 0xc0:
    case 0xd0:
        return 1;
    case 0xf0:
        return status == 0xf2 ? 2 : (status == 0xf1 || status == 0xf3) ? 1 : 0;
    default:
        return 2;
    }
}

} // namespace

std::optional<MidiNote> MidiMessageParser::feed(std::uint8_t byte) {
    if (byte >= 0xf8) {
        return std::nullopt; // realtime: may fall anywhere, even inside a message, and changes nothing
    }
    if (byte & 0x80) {
        count_ = 0;
        inSysex_ = byte == 0xf0;
        // System messages end running status; F7 (end of exclusive) and tune request take no data.
        status_ = (byte >= 0xf0 && dataLength(byte) == 0) || byte == 0xf0 ? 0 : byte;
        return std::nullopt;
    }
    if (inSysex_ || status_ == 0) {
        return std::nullopt;
    }
    data_[count_++] = byte;
    if (count_ < dataLength(status_)) {
        return std::nullopt;
    }
    count_ = 0;
    const std::uint8_t kind = status_ & 0xf0;
    const int channel = status_ & 0x0f;
    if (status_ >= 0xf0) {
        status_ = 0; // system common messages are not repeated by running status
        return std::nullopt;
    }
    if (kind == 0x90) {
        return MidiNote{channel, data_[0], data_[1], data_[1] > 0};
    }
    if (kind == 0x80) {
        return MidiNote{channel, data_[0], data_[1], false};
    }
    return std::nullopt;
}

void MidiMessageParser::reset() { *this = MidiMessageParser(); }

std::string midiNoteName(int note) {
    static constexpr std::array<const char*, 12> names = {"C", "C#", "D", "D#", "E", "F",
                                                           "F#", "G", "G#", "A", "A#", "B"};
    if (note < 0 || note > 127) {
        return "?";
    }
    return std::string(names[static_cast<std::size_t>(note % 12)]) + std::to_string(note / 12 - 1);
}

} // namespace quelmo::midi
