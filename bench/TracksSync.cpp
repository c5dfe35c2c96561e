// Synced tracks looping through the rack on the real deck controller and the sound server, against
// the same tracks looping unsynced in the same run. Every FILE (each with a steady beat) is added as
// a row and analysed, then:
//   idle      the whole process's CPU, as a share of one core, over SECONDS with nothing playing
//   unsynced  the same with every row looping as it is (the baseline)
//   synced    the same with every row on SYNC, the transport running at 120 BPM: each row stretched
//             to it through a stretcher of its own; the times the server ran dry
//   loaded    the synced rows for LOADED_SECONDS while two `sha256sum /dev/zero` keep both cores busy
// Usage: quelmo_tracks_sync_bench SECONDS LOADED_SECONDS FILE...   (PULSE_SERVER as for the application)

#include "BenchSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "timing/TimingController.h"
#include "tracks/TracksController.h"

#include <QCoreApplication>
#include <QProcess>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace quelmo::bench;

bool playAll(quelmo::TracksController& tracks, qsizetype count) {
    for (const auto& track : tracks.importedTracks()) {
        tracks.playTrack(track.id);
    }
    if (!runUntil([&] { return tracks.playingTrackIds().size() == count; }, 30000)) {
        std::fprintf(stderr, "only %lld of %lld tracks started within 30 s\n",
                     static_cast<long long>(tracks.playingTrackIds().size()), static_cast<long long>(count));
        return false;
    }
    runFor(3000); // a synced row starts on the next bar
    return true;
}

} // namespace

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
    auto& tracks = *deck.tracks();
    tracks.addImportFiles(urls);
    if (!runUntil([&] { return tracks.importedTracks().size() == urls.size(); }, 300000)) {
        std::fprintf(stderr, "the files were not all listed within 300 s\n");
        return 1;
    }
    for (const auto& track : tracks.importedTracks()) {
        const auto grid = tracks.analysis()->grid(track.id);
        if (!grid) {
            std::fprintf(stderr, "%s has no tempo to sync\n", qPrintable(track.name));
            return 1;
        }
        std::printf("row       %s: %.2f BPM\n", qPrintable(track.name), grid->bpm());
    }
    runFor(3000); // the output rests

    const DeckFigures idle = measureDeck(deck, seconds);
    std::printf("idle      CPU %5.2f %% of a core over %d s, nothing playing\n", 100.0 * idle.cpuShare, seconds);

    if (!playAll(tracks, urls.size())) {
        return 1;
    }
    const DeckFigures unsynced = measureDeck(deck, seconds);
    std::printf("unsynced  CPU %5.2f %% of a core over %d s, %lld rows looping as they are; %llu underflows\n",
                100.0 * unsynced.cpuShare, seconds, static_cast<long long>(urls.size()),
                static_cast<unsigned long long>(unsynced.underflows));
    tracks.stopAllTracks();

    deck.timing()->setBpm(120.0);
    deck.timing()->togglePlay();
    for (const auto& track : tracks.importedTracks()) {
        tracks.sync()->setSynced(track.id, true);
    }
    if (!playAll(tracks, urls.size())) {
        return 1;
    }
    const DeckFigures synced = measureDeck(deck, seconds);
    std::printf("synced    CPU %5.2f %% of a core over %d s, %lld rows on SYNC at 120 BPM with the metronome; %llu "
                "underflows\n",
                100.0 * synced.cpuShare, seconds, static_cast<long long>(urls.size()),
                static_cast<unsigned long long>(synced.underflows));
    std::printf("ratio     synced / unsynced %.2fx; each synced row's stretcher %.2f %% of a core (target: the whole "
                "process under 20 %%)\n",
                unsynced.cpuShare > 0 ? synced.cpuShare / unsynced.cpuShare : 0.0,
                100.0 * (synced.cpuShare - unsynced.cpuShare) / static_cast<double>(urls.size()));

    std::optional<BusyLoad> load(std::in_place);
    if (!load->started()) {
        std::fprintf(stderr, "cannot start sha256sum for the load\n");
        return 1;
    }
    runFor(1000);
    const DeckFigures loaded = measureDeck(deck, loadedSeconds);
    load.reset();
    std::printf("loaded    %llu underflows over %d s with both cores busy (CPU %5.2f %% of a core)\n",
                static_cast<unsigned long long>(loaded.underflows), loadedSeconds, 100.0 * loaded.cpuShare);
    std::fflush(stdout);
    deck.tracks()->stopAllTracks();
    deck.shutdown();
    return 0;
}
