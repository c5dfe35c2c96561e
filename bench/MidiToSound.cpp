// MIDI note to sound against a key's last step, one deck on the real sound-server output, in one
// run: presses alternate 500 ms apart between
//   direct  the main thread stamps and plays the Kick pad (triggerPad, what a pad key ends in)
//   midi    a thread of its own, standing in for the sequencer client's, stamps and hands a
//           note-on of note 36, velocity 127, to the deck's MIDI input (MidiPads::receive, the very
//           call the client makes); the note goes to the main thread by a queued call and plays.
// Stamps are CLOCK_MONOTONIC in quelmo_xtest_press's format, one file per kind, for
// click_latency.py against the null sink's monitor recording.
// Usage: quelmo_midi_to_sound_bench COUNT STAMPS_PREFIX   (PULSE_SERVER as for the application)

#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "midi/MidiController.h"
#include "midi/MidiPads.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <semaphore>
#include <thread>

namespace {

long long monotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

void stamp(std::FILE* file, long long ns) {
    std::fprintf(file, "%lld 0 %lld\n", ns, ns);
    std::fflush(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s COUNT STAMPS_PREFIX\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const int count = std::atoi(argv[1]);
    const std::string prefix = argv[2];
    std::FILE* direct = std::fopen((prefix + ".direct").c_str(), "w");
    std::FILE* midi = std::fopen((prefix + ".midi").c_str(), "w");
    if (!direct || !midi) {
        std::fprintf(stderr, "cannot write %s.direct / .midi\n", prefix.c_str());
        return 1;
    }

    quelmo::QuelmoViewModel deck;
    deck.prepareAudioEngineIfNeeded();
    deck.audioEngine().setKeepAwake(true); // both kinds on an output that never sleeps
    auto& input = deck.midi()->midiPads();

    std::binary_semaphore go(0);
    bool done = false;
    std::thread midiThread([&] {
        for (;;) {
            go.acquire();
            if (done) {
                return;
            }
            const std::uint8_t note[] = {0x90, 36, 127};
            stamp(midi, monotonicNs());
            input.receive(1, note, sizeof note);
        }
    });

    int press = 0;
    const std::int64_t startFrame = deck.audioEngine().sampleTime();
    const std::uint64_t startBlocks = deck.audioEngine().stats().blocks;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(500);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (press == 2 * count) {
            timer.stop();
            const auto frames = deck.audioEngine().sampleTime() - startFrame;
            const auto blocks = deck.audioEngine().stats().blocks - startBlocks;
            std::printf("render block %.0f frames (%.2f ms), output latency %.0f ms, gaps %llu\n",
                        blocks ? static_cast<double>(frames) / static_cast<double>(blocks) : 0.0,
                        blocks ? 1000.0 * static_cast<double>(frames) / static_cast<double>(blocks) / 44100.0 : 0.0,
                        deck.audioEngine().driver().latencySeconds() * 1000.0,
                        static_cast<unsigned long long>(deck.audioEngine().driver().underflows()));
            QCoreApplication::quit();
            return;
        }
        if (press++ % 2 == 0) {
            stamp(direct, monotonicNs());
            deck.triggerPad(0);
        } else {
            go.release();
        }
    });
    // The output settles before the first press.
    QTimer::singleShot(1500, [&] { timer.start(); });
    const int rc = QCoreApplication::exec();
    done = true;
    go.release();
    midiThread.join();
    deck.shutdown();
    std::fclose(direct);
    std::fclose(midi);
    return rc;
}
