// Tracks looping together through the rack at its defaults (the time-pitch unit serves only the
// import player: track players feed the rack directly), on the real deck controller and the sound
// server. Every FILE is added as a row, then:
//   idle     the whole process's CPU, as a share of one core, over SECONDS with nothing playing
//   one      the same with the first row playing: what the output running costs, whatever plays
//   playing  the same with every row playing on its own looping player, and the times the server
//            ran dry (the output driver's underflow count); the cost of each track beyond the first
//   loaded   the same tracks for LOADED_SECONDS while two `sha256sum /dev/zero` (nice 0) keep both
//            cores busy: underflows, the output latency they have raised it to, and the phase's
//            CLOCK_MONOTONIC bounds as "window <start ns> <end ns>", to find gaps in a recording of
//            the sink's monitor
// Usage: quelmo_tracks_loop_bench SECONDS LOADED_SECONDS FILE...   (PULSE_SERVER as for the application)

#include "BenchSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"

#include <QCoreApplication>
#include <QProcess>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

using namespace quelmo::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SECONDS LOADED_SECONDS FILE...\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const int loadedSeconds = std::atoi(argv[2]);
    const QList<QUrl> urls = fileUrlsFrom(argc, argv, 3);

    quelmo::QuelmoViewModel deck;
    if (!startDeck(deck)) {
        return 1;
    }
    deck.tracks()->addImportFiles(urls);
    if (!runUntil([&] { return deck.tracks()->importedTracks().size() == urls.size(); }, 300000)) {
        std::fprintf(stderr, "the files were not all listed within 300 s\n");
        return 1;
    }
    runFor(3000); // the output rests

    const DeckFigures idle = measureDeck(deck, seconds);
    std::printf("idle      CPU %5.2f %% of a core over %d s, %zu rows, nothing playing\n", 100.0 * idle.cpuShare,
                seconds, static_cast<std::size_t>(urls.size()));

    deck.tracks()->playTrack(deck.tracks()->importedTracks().front().id);
    if (!runUntil([&] { return deck.tracks()->playingTrackIds().size() == 1; }, 30000)) {
        std::fprintf(stderr, "the first track did not start within 30 s\n");
        return 1;
    }
    runFor(2000);
    const DeckFigures one = measureDeck(deck, seconds);
    std::printf("one       CPU %5.2f %% of a core over %d s, one track looping; %llu underflows\n", 100.0 * one.cpuShare,
                seconds, static_cast<unsigned long long>(one.underflows));

    for (const auto& track : deck.tracks()->importedTracks().mid(1)) {
        deck.tracks()->playTrack(track.id);
    }
    if (!runUntil([&] { return deck.tracks()->playingTrackIds().size() == urls.size(); }, 30000)) {
        std::fprintf(stderr, "only %lld of %lld tracks started within 30 s\n",
                     static_cast<long long>(deck.tracks()->playingTrackIds().size()), static_cast<long long>(urls.size()));
        return 1;
    }
    runFor(2000);
    const DeckFigures playing = measureDeck(deck, seconds);
    std::printf("playing   CPU %5.2f %% of a core over %d s, %zu tracks looping; %llu underflows\n",
                100.0 * playing.cpuShare, seconds, static_cast<std::size_t>(urls.size()),
                static_cast<unsigned long long>(playing.underflows));
    std::printf("ratio     %zu tracks cost %.2f %% of a core more than idle, %.2fx one track; each track beyond the "
                "first %.2f %% of a core (target: all under 5 %%)\n",
                static_cast<std::size_t>(urls.size()), 100.0 * (playing.cpuShare - idle.cpuShare),
                one.cpuShare > 0 ? playing.cpuShare / one.cpuShare : 0.0,
                urls.size() > 1 ? 100.0 * (playing.cpuShare - one.cpuShare) / static_cast<double>(urls.size() - 1) : 0.0);

    std::optional<BusyLoad> load(std::in_place);
    if (!load->started()) {
        std::fprintf(stderr, "cannot start sha256sum for the load\n");
        return 1;
    }
    runFor(1000);
    const std::int64_t windowStart = monotonicNs();
    const DeckFigures loaded = measureDeck(deck, loadedSeconds);
    const std::int64_t windowEnd = monotonicNs();
    load.reset();
    std::printf("loaded    %llu underflows over %d s with both cores busy (CPU %5.2f %% of a core); output latency "
                "%.0f ms at the end (it rises 5 ms after each underflow)\n",
                static_cast<unsigned long long>(loaded.underflows), loadedSeconds, 100.0 * loaded.cpuShare,
                deck.audioEngine().driver().latencySeconds() * 1000.0);
    std::printf("window %lld %lld\n", static_cast<long long>(windowStart), static_cast<long long>(windowEnd));
    std::fflush(stdout);
    deck.tracks()->stopAllTracks();
    deck.shutdown();
    return 0;
}
