// The same eighth-note pattern played two ways by one deck, on the real sound-server output, for a
// recording to compare: first by the deck's sequencer, which books each hit on its sample of the
// audio timeline; then by a repeating main-thread timer that plays the pad whenever it fires, the
// way a sequencer driven straight from UI timers sounds. The two runs are separated by silence.
// Usage: quelmo_jitter_bench [BPM] [SECONDS]   (PULSE_SERVER as for the application)

#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "timing/TimingController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cmath>
#include <functional>

#include <cstdio>
#include <cstdlib>

namespace {
constexpr int clapRow = 3; // a short, noisy one-shot: its onset is found to the sample
constexpr int silenceMs = 2500;
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double bpm = argc > 1 ? std::atof(argv[1]) : 120.0;
    const int runMs = (argc > 2 ? std::atoi(argv[2]) : 20) * 1000;
    const double eighthMs = 60000.0 / bpm / 2.0;

    quelmo::QuelmoViewModel deck;
    deck.prepareAudioEngineIfNeeded();
    // Both runs on a stream that never sleeps: one that wakes starts with a burst of buffering.
    deck.audioEngine().setKeepAwake(true);
    deck.timing()->setBpm(bpm);
    for (int col = 0; col < quelmo::TimingController::sequencerSteps; col += 2) {
        deck.timing()->toggleSequencerCell(clapRow, col);
    }

    // A precise main-thread timer aimed at each hit's ideal time (so it never drifts), playing the
    // pad when it fires.
    QElapsedTimer since;
    int hit = 0;
    bool timerRunning = false;
    std::function<void()> timerHit = [&] {
        if (!timerRunning) {
            return;
        }
        deck.triggerPad(clapRow, false);
        ++hit;
        const auto wait = static_cast<int>(std::lround(hit * eighthMs - static_cast<double>(since.elapsed())));
        QTimer::singleShot(std::max(0, wait), Qt::PreciseTimer, timerHit);
    };

    std::printf("booked: sequencer at %.1f BPM for %d s\n", bpm, runMs / 1000);
    std::fflush(stdout);
    // Output gaps during each run, for the report to allow for.
    std::uint64_t gapsBefore = 0;
    const auto gaps = [&] { return deck.audioEngine().driver().underflows(); };
    QTimer::singleShot(silenceMs, [&] {
        gapsBefore = gaps();
        deck.timing()->toggleSequencer();
    });
    QTimer::singleShot(silenceMs + runMs, [&] {
        deck.timing()->toggleSequencer();
        deck.audioEngine().setKeepAwake(true);
        std::printf("booked gaps %llu\n", static_cast<unsigned long long>(gaps() - gapsBefore));
    });
    QTimer::singleShot(2 * silenceMs + runMs, [&] {
        std::printf("timer: a %.2f ms main-thread timer for %d s\n", eighthMs, runMs / 1000);
        std::fflush(stdout);
        timerRunning = true;
        gapsBefore = gaps();
        since.start();
        timerHit();
    });
    QTimer::singleShot(2 * silenceMs + 2 * runMs, [&] {
        timerRunning = false;
        std::printf("timer gaps %llu\n", static_cast<unsigned long long>(gaps() - gapsBefore));
    });
    QTimer::singleShot(3 * silenceMs + 2 * runMs, [&] {
        deck.shutdown();
        app.quit();
    });
    return QCoreApplication::exec();
}

