// Renders an audio file through the deck's effects rack (low-pass, delay, reverb, distortion and
// the three-band master tone, all active) offline, and writes a 32-bit float WAV.
// Usage: quelmo_rack_render INPUT OUTPUT.wav
// bench/rack_vs_sox.sh times it against sox applying the nearest equivalent chain.

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/file/AudioFile.h"
#include "engine/file/FormatConverter.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace quelmo::engine;

namespace {

// The whole file in the graph format.
std::shared_ptr<AudioBuffer> load(const std::string& path, std::string* error) {
    auto file = AudioFile::open(path, error);
    if (!file) {
        return nullptr;
    }
    auto converter = FormatConverter::create(file->processingFormat(), error);
    if (!converter) {
        return nullptr;
    }
    const auto total = static_cast<std::uint32_t>(
        static_cast<double>(file->length()) * 44100.0 / file->processingFormat().sampleRate + 8192);
    auto out = AudioBuffer::create(*AudioFormat::standard(44100.0, 2), total);
    out->setFrameLength(total);
    auto chunk = AudioBuffer::create(file->processingFormat(), 8192);
    std::uint32_t written = 0;
    std::vector<const float*> in(file->processingFormat().channelCount);
    for (;;) {
        float* dst[2] = {out->channel(0).data() + written, out->channel(1).data() + written};
        std::int64_t got = file->read(*chunk, 8192, error);
        if (got < 0) {
            return nullptr;
        }
        if (got == 0) {
            written += converter->flush(dst, total - written);
            break;
        }
        for (std::uint32_t c = 0; c < in.size(); ++c) {
            in[c] = chunk->channel(c).data();
        }
        written += converter->convert(in.data(), static_cast<std::uint32_t>(got), dst, total - written);
    }
    out->setFrameLength(written);
    return out;
}

void writeWav(const std::string& path, const std::vector<float>& interleaved) {
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(interleaved.size() * sizeof(float));
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(3); // IEEE float
    u16(2);
    u32(44100);
    u32(44100 * 8);
    u16(8);
    u16(32);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(interleaved.data()), bytes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT OUTPUT.wav\n", argv[0]);
        return 2;
    }
    std::string error;
    auto input = load(argv[1], &error);
    if (!input) {
        std::fprintf(stderr, "cannot read %s: %s\n", argv[1], error.c_str());
        return 1;
    }

    auto offline = std::make_unique<OfflineDriver>();
    OfflineDriver* driver = offline.get();
    AudioEngine engine(std::move(offline));
    auto player = std::make_shared<PlayerNode>();
    auto filter = std::make_shared<EQUnit>(1);
    filter->band(0).setFilterType(FilterType::lowPass);
    filter->band(0).setFrequency(5000.0f);
    filter->band(0).setBypass(false);
    auto delay = std::make_shared<DelayUnit>();
    delay->setDelayTime(0.3f);
    delay->setFeedback(40.0f);
    delay->setWetDryMix(30.0f);
    auto reverb = std::make_shared<ReverbUnit>();
    reverb->loadFactoryPreset(4);
    reverb->setWetDryMix(30.0f);
    auto distortion = std::make_shared<DistortionUnit>();
    distortion->setPreGain(-6.0f);
    distortion->setWetDryMix(30.0f);
    auto tone = std::make_shared<EQUnit>(3);
    const FilterType types[] = {FilterType::lowShelf, FilterType::parametric, FilterType::highShelf};
    const float hz[] = {120.0f, 2600.0f, 9000.0f};
    for (std::size_t b = 0; b < 3; ++b) {
        tone->band(b).setFilterType(types[b]);
        tone->band(b).setFrequency(hz[b]);
        tone->band(b).setBandwidth(1.35f);
        tone->band(b).setGain(3.0f);
        tone->band(b).setBypass(false);
    }
    std::shared_ptr<AudioNode> previous = player;
    for (const std::shared_ptr<AudioNode>& node :
         std::initializer_list<std::shared_ptr<AudioNode>>{player, filter, delay, reverb, distortion, tone}) {
        engine.attach(node);
        if (node != player) {
            engine.connect(previous, node);
        }
        previous = node;
    }
    engine.connect(previous, engine.mainMixer());
    engine.start();
    player->scheduleBuffer(input);
    player->play();

    const std::uint32_t frames = input->frameLength();
    std::vector<float> interleaved(static_cast<std::size_t>(frames) * 2);
    std::vector<float> left(512), right(512);
    for (std::uint32_t done = 0; done < frames; done += 512) {
        const std::uint32_t n = std::min<std::uint32_t>(512, frames - done);
        float* channels[2] = {left.data(), right.data()};
        driver->renderBlock(channels, n);
        for (std::uint32_t i = 0; i < n; ++i) {
            interleaved[2 * (done + i)] = left[i];
            interleaved[2 * (done + i) + 1] = right[i];
        }
    }
    writeWav(argv[2], interleaved);
    return 0;
}
