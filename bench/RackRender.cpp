// Renders an audio file through the deck's effects rack (low-pass, delay, reverb, distortion and
// the three-band master tone, all active) offline, and writes a 32-bit float WAV. The file is
// decoded, played, rendered and written chunk by chunk, as sox streams it.
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

// A 32-bit float stereo WAV written as it is rendered; the sizes go in at the end.
class WavWriter {
public:
    explicit WavWriter(const std::string& path) : out_(path, std::ios::binary) { out_.write(header(0).data(), 44); }
    void write(const float* left, const float* right, std::uint32_t frames) {
        interleaved_.resize(static_cast<std::size_t>(frames) * 2);
        for (std::uint32_t i = 0; i < frames; ++i) {
            interleaved_[2 * i] = left[i];
            interleaved_[2 * i + 1] = right[i];
        }
        out_.write(reinterpret_cast<const char*>(interleaved_.data()),
                   static_cast<std::streamsize>(interleaved_.size() * sizeof(float)));
        frames_ += frames;
    }
    ~WavWriter() {
        out_.seekp(0);
        out_.write(header(frames_ * 8).data(), 44);
    }

private:
    static std::string header(std::uint32_t bytes) {
        std::string h;
        auto u32 = [&](std::uint32_t v) { h.append(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&](std::uint16_t v) { h.append(reinterpret_cast<const char*>(&v), 2); };
        h += "RIFF";
        u32(36 + bytes);
        h += "WAVEfmt ";
        u32(16);
        u16(3); // IEEE float
        u16(2);
        u32(44100);
        u32(44100 * 8);
        u16(8);
        u16(32);
        h += "data";
        u32(bytes);
        return h;
    }
    std::ofstream out_;
    std::vector<float> interleaved_;
    std::uint32_t frames_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT OUTPUT.wav\n", argv[0]);
        return 2;
    }
    std::string error;
    auto file = AudioFile::open(argv[1], &error);
    auto converter = file ? FormatConverter::create(file->processingFormat(), &error) : nullptr;
    if (!converter) {
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
    player->play();

    // Decode a chunk, queue it on the player, render as many frames as it holds, write them out.
    constexpr std::uint32_t chunkFrames = 8192;
    auto chunk = AudioBuffer::create(file->processingFormat(), chunkFrames);
    std::vector<const float*> in(file->processingFormat().channelCount);
    WavWriter writer(argv[2]);
    std::vector<float> left(512), right(512);
    bool atEnd = false;
    while (!atEnd) {
        auto converted = AudioBuffer::create(FormatConverter::graphFormat(), converter->maxOutputFrames(chunkFrames) + 64);
        converted->setFrameLength(converted->frameCapacity());
        float* dst[2] = {converted->channel(0).data(), converted->channel(1).data()};
        const std::int64_t got = file->read(*chunk, chunkFrames, &error);
        std::uint32_t frames = 0;
        if (got <= 0) {
            frames = converter->flush(dst, converted->frameCapacity());
            atEnd = true;
        } else {
            for (std::uint32_t c = 0; c < in.size(); ++c) {
                in[c] = chunk->channel(c).data();
            }
            frames = converter->convert(in.data(), static_cast<std::uint32_t>(got), dst, converted->frameCapacity());
        }
        converted->setFrameLength(frames);
        player->scheduleBuffer(converted);
        for (std::uint32_t done = 0; done < frames; done += 512) {
            const std::uint32_t n = std::min<std::uint32_t>(512, frames - done);
            float* channels[2] = {left.data(), right.data()};
            driver->renderBlock(channels, n);
            writer.write(left.data(), right.data(), n);
        }
        engine.dispatchEvents();
    }
    return 0;
}
