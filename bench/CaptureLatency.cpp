// System-audio latency: how long a sound played into the capture sink takes to come out of the
// deck's output. The deck here is an engine pinned to the default sink ("quelmo_test") whose input
// node records "quelmo_capture"'s monitor; a second engine plays a click every half second into
// "quelmo_capture". Both sinks' monitors are recorded the same way (an input node each, paced by the
// wall clock), so their own recording delay cancels in the difference between the click's onsets.
//
// With --no-deck the program only plays and records: the script runs it that way around the sound
// server's own module-loopback from the same monitor to the same sink, as the baseline.
//
// Run on the private sound server: bench/capture_latency.sh BUILD_DIR  (or under
// tests/e2e/with_sound_server.sh by hand). Prints the median and the worst delay, in ms.

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/devices/PulseSinkControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

using namespace quelmo::engine;

namespace {

constexpr double rate = 44100.0;

std::shared_ptr<AudioBuffer> clickEveryHalfSecond() {
    const auto frames = static_cast<std::uint32_t>(0.5 * rate);
    auto buffer = AudioBuffer::create(*AudioFormat::standard(rate, 2), frames);
    buffer->setFrameLength(frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float s = i < 441 ? static_cast<float>(0.8 * std::sin(2.0 * std::numbers::pi * 2000.0 * i / rate)) : 0.0f;
        buffer->channel(0)[i] = s;
        buffer->channel(1)[i] = s;
    }
    return buffer;
}

struct Recorder {
    OfflineDriver* driver;
    std::unique_ptr<AudioEngine> engine;
    std::vector<float> samples;

    explicit Recorder(const std::string& source) {
        auto offline = std::make_unique<OfflineDriver>();
        driver = offline.get();
        engine = std::make_unique<AudioEngine>(std::move(offline));
        engine->start();
        engine->connect(engine->inputNode(), engine->mainMixer());
        if (auto error = engine->inputNode()->startCapture(source)) {
            std::fprintf(stderr, "cannot record %s: %s\n", source.c_str(), error->c_str());
            std::exit(1);
        }
    }
    void pull(std::uint32_t frames) {
        const auto block = driver->renderFrames(frames, 441);
        engine->dispatchEvents();
        samples.insert(samples.end(), block->channel(0).begin(), block->channel(0).end());
    }
};

// Frames where the signal rises above the threshold after 0.2 s below it.
std::vector<std::size_t> onsets(const std::vector<float>& samples) {
    std::vector<std::size_t> found;
    std::size_t quietSince = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) > 0.1f) {
            if (i - quietSince > static_cast<std::size_t>(0.2 * rate)) {
                found.push_back(i);
            }
            quietSince = i;
        }
    }
    return found;
}

void fail(const char* what, const std::optional<std::string>& error) {
    if (error) {
        std::fprintf(stderr, "%s: %s\n", what, error->c_str());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    const bool withDeck = !(argc > 1 && std::string(argv[1]) == "--no-deck");
    PulseSinkControl control;
    fail("sound server", control.open());
    // A capture sink left by an earlier run (or made by the script) is used as it is.
    std::vector<PulseSinkInfo> sinks;
    fail("sinks", control.sinks(sinks));
    std::uint32_t module = PulseSinkInfo::noModule;
    if (std::none_of(sinks.begin(), sinks.end(), [](const auto& sink) { return sink.name == "quelmo_capture"; })) {
        fail("capture sink", control.loadNullSink("quelmo_capture", "Quelmo Capture", module));
    }
    std::string original;
    fail("default", control.defaultSinkName(original));

    AudioEngine deck;
    if (withDeck) {
        deck.connect(deck.inputNode(), deck.mainMixer());
        fail("deck output", deck.start());
        fail("pin", deck.driver().pinToCurrentDevice());
        fail("deck capture", deck.inputNode()->startCapture("quelmo_capture.monitor"));
    }
    fail("default", control.setDefaultSink("quelmo_capture"));

    AudioEngine browser;
    auto player = std::make_shared<PlayerNode>();
    browser.attach(player);
    browser.connect(player, browser.mainMixer());
    auto click = clickEveryHalfSecond();
    std::function<void(PlaybackEnd)> again = [&](PlaybackEnd end) {
        if (end == PlaybackEnd::playedToEnd) {
            player->scheduleBuffer(click, std::nullopt, again);
        }
    };
    for (int i = 0; i < 3; ++i) {
        player->scheduleBuffer(click, std::nullopt, again);
    }
    player->play();
    fail("click output", browser.start());

    Recorder captured("quelmo_capture.monitor");
    Recorder played("quelmo_test.monitor");
    const auto start = std::chrono::steady_clock::now();
    std::int64_t rendered = 0;
    constexpr double seconds = 12.0;
    for (double elapsed = 0.0; elapsed < seconds;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        browser.dispatchEvents();
        deck.dispatchEvents();
        elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto due = static_cast<std::int64_t>(std::min(elapsed, seconds) * rate);
        captured.pull(static_cast<std::uint32_t>(due - rendered));
        played.pull(static_cast<std::uint32_t>(due - rendered));
        rendered = due;
    }

    // Pair each click in the capture sink with the first one after it in the deck's output,
    // skipping the first two seconds while everything settles.
    std::vector<double> delays;
    const auto in = onsets(captured.samples);
    const auto out = onsets(played.samples);
    for (const std::size_t at : in) {
        if (at < static_cast<std::size_t>(2.0 * rate)) {
            continue;
        }
        const auto next = std::lower_bound(out.begin(), out.end(), at);
        if (next != out.end() && *next - at < static_cast<std::size_t>(0.4 * rate)) {
            delays.push_back(static_cast<double>(*next - at) / rate * 1000.0);
        }
    }
    const auto stats = deck.inputNode()->captureStats();
    deck.inputNode()->stopCapture();
    deck.stop();
    browser.stop();
    control.setDefaultSink(original);
    if (module != PulseSinkInfo::noModule) {
        control.unloadModule(module);
    }
    if (delays.empty()) {
        std::fprintf(stderr, "no click came through (%zu in the capture sink, %zu out)\n", in.size(), out.size());
        return 1;
    }
    std::sort(delays.begin(), delays.end());
    std::printf("capture sink to %s: median %.1f ms, worst %.1f ms over %zu clicks\n",
                withDeck ? "deck output" : "output", delays[delays.size() / 2], delays.back(), delays.size());
    if (!withDeck) {
        return 0;
    }
    std::printf("deck capture queue %.1f ms (target %.1f ms), ratio %.5f, %llu gaps, output latency asked %.0f ms\n",
                stats.queuedFrames / rate * 1000.0, InputNode::targetLatencySeconds * 1000.0, stats.ratio,
                static_cast<unsigned long long>(stats.underruns), deck.driver().latencySeconds() * 1000.0);
    return 0;
}
