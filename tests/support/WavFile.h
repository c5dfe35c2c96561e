#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <vector>

namespace quelmo::test {

// Writes a WAV of the samples (interleaved when channels is 2) to path, a QString or a
// std::filesystem::path: 16-bit, or 32-bit float holding the samples bit for bit.
template <typename Path>
void writeWav(const Path& path, const std::vector<float>& samples, std::uint16_t channels = 1,
              std::uint32_t rate = 44100, bool float32 = false) {
    std::ofstream out;
    if constexpr (requires { path.toStdString(); }) {
        out.open(path.toStdString(), std::ios::binary);
    } else {
        out.open(path, std::ios::binary);
    }
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const std::uint32_t sampleBytes = float32 ? 4 : 2;
    const auto bytes = static_cast<std::uint32_t>(samples.size() * sampleBytes);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(float32 ? 3 : 1);
    u16(channels);
    u32(rate);
    u32(rate * sampleBytes * channels);
    u16(static_cast<std::uint16_t>(sampleBytes * channels));
    u16(static_cast<std::uint16_t>(8 * sampleBytes));
    out.write("data", 4);
    u32(bytes);
    for (float s : samples) {
        if (float32) {
            out.write(reinterpret_cast<const char*>(&s), 4);
        } else {
            const auto value = static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f));
            u16(static_cast<std::uint16_t>(value));
        }
    }
}

} // namespace quelmo::test
