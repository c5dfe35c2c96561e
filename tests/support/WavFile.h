#pragma once

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

namespace quelmo::test {

// Writes a 16-bit WAV at 44.1 kHz of the samples (interleaved when channels is 2).
inline void writeWav(const QString& path, const std::vector<float>& samples, std::uint16_t channels = 1) {
    constexpr std::uint32_t rate = 44100;
    std::ofstream out(path.toStdString(), std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * 2u * channels);
    u16(static_cast<std::uint16_t>(2u * channels));
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (float s : samples) {
        u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f))));
    }
}

} // namespace quelmo::test
