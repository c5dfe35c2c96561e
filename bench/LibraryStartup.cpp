// The main thread while the deck restores its downloads library: the real deck controller on a
// QCoreApplication, its Documents folder pointed at a prepared one, and a heartbeat on the main
// thread, a precise 5 ms timer stamping CLOCK_MONOTONIC. The controller restores the library on
// its first event-loop turn; the gaps between beats are how long the main thread was kept from
// its events meanwhile; the heartbeat starts as the constructor returns (its cost, the same
// with any library, is given apart). Two phases in one run, each with a new controller:
//   empty    EMPTY_DOCUMENTS (a Documents folder without a downloads library), the baseline
//   library  LIBRARY_DOCUMENTS (its "Quelmo Downloads" holding the files and downloads.json)
// Each phase runs SECONDS from the constructor's return. For each: beats, the largest gap, the
// 99th percentile and the median, the largest busy time of a gap (the main thread's own CPU time
// within it: the rest of a gap it waited for a core), the process's CPU as a share of one core, when the rows were
// listed (milliseconds after the constructor) and how many had their overview by the end; then the
// library's largest and p99 gaps over the baseline's. With ALL_LIMIT_SECONDS the library phase then
// goes on until every row has its overview (or the limit) and says when that was.
// Usage: quelmo_library_startup_bench EMPTY_DOCUMENTS LIBRARY_DOCUMENTS SECONDS [ALL_LIMIT_SECONDS]

#include "LibraryBench.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"

#include <QCoreApplication>

#include <cstdlib>
#include <memory>

namespace {

using namespace quelmo::bench;

struct Phase {
    std::vector<double> gaps;
    double largestBusyMs = 0.0;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    qsizetype rows = 0;
    double constructionMs = 0.0;
    double listedMs = -1.0; // when the rows appeared, after the constructor
    qsizetype analysed = 0;
};

qsizetype analysedCount(const quelmo::QuelmoViewModel& deck) {
    const auto& tracks = deck.tracks()->importedTracks();
    return std::count_if(tracks.begin(), tracks.end(), [](const auto& t) { return t.waveformData.has_value(); });
}

struct Run {
    std::unique_ptr<quelmo::QuelmoViewModel> deck;
    Phase phase;
    std::int64_t created = 0;
};

Run runPhase(const QString& documents, int seconds) {
    Run run;
    MainThreadPulse pulse(5);
    const std::int64_t before = monotonicNs();
    quelmo::QuelmoViewModel::Dependencies dependencies;
    dependencies.documentsDir = documents;
    run.deck = std::make_unique<quelmo::QuelmoViewModel>(std::move(dependencies));
    // The restore waits for the event loop: the pulse starts after the constructor, whose cost
    // does not depend on the library.
    run.created = monotonicNs();
    run.phase.constructionMs = msBetween(before, run.created);
    const double cpu = processCpuSeconds();
    pulse.start();
    QObject::connect(run.deck->tracks(), &quelmo::TracksController::importedTracksChanged, run.deck.get(),
                     [&run, deck = run.deck.get()] {
                         if (run.phase.listedMs < 0 && !deck->tracks()->importedTracks().isEmpty()) {
                             run.phase.listedMs = msBetween(run.created, monotonicNs());
                         }
                     });
    runEventLoop(seconds * 1000);
    pulse.stop();
    run.phase.seconds = msBetween(run.created, monotonicNs()) / 1000.0;
    run.phase.cpuSeconds = processCpuSeconds() - cpu;
    run.phase.gaps = pulse.sortedGapsMs();
    run.phase.largestBusyMs = pulse.largestBusyMs();
    run.phase.rows = run.deck->tracks()->importedTracks().size();
    run.phase.analysed = analysedCount(*run.deck);
    QObject::disconnect(run.deck->tracks(), &quelmo::TracksController::importedTracksChanged, run.deck.get(), nullptr);
    return run;
}

void print(const char* name, const Phase& phase) {
    std::printf("%-8s %5zu beats in %4.1f s: largest gap %6.1f ms, p99 %5.1f ms, median %4.1f ms; largest busy %5.1f ms; "
                "CPU %5.1f %% of a core\n",
                name, phase.gaps.size() + 1, phase.seconds, phase.gaps.empty() ? 0.0 : phase.gaps.back(),
                percentile(phase.gaps, 0.99), percentile(phase.gaps, 0.5), phase.largestBusyMs,
                100.0 * phase.cpuSeconds / phase.seconds);
    std::printf("%-8s the constructor took %.1f ms (before the heartbeat)\n", name, phase.constructionMs);
    if (phase.rows > 0) {
        std::printf("%-8s %lld rows listed %.1f ms after the constructor; %lld with their overview after %.0f s\n",
                    name, static_cast<long long>(phase.rows), phase.listedMs, static_cast<long long>(phase.analysed),
                    phase.seconds);
    } else {
        std::printf("%-8s no rows\n", name);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s EMPTY_DOCUMENTS LIBRARY_DOCUMENTS SECONDS [ALL_LIMIT_SECONDS]\n", argv[0]);
        return 2;
    }
    const QString empty = QString::fromLocal8Bit(argv[1]);
    const QString library = QString::fromLocal8Bit(argv[2]);
    const int seconds = std::atoi(argv[3]);
    const int allLimit = argc > 4 ? std::atoi(argv[4]) : 0;

    Run baseline = runPhase(empty, seconds);
    baseline.deck.reset();
    Run restore = runPhase(library, seconds);

    print("empty", baseline.phase);
    print("library", restore.phase);
    const auto& base = baseline.phase.gaps;
    const auto& lib = restore.phase.gaps;
    const double baseLargest = base.empty() ? 0.0 : base.back();
    const double largest = lib.empty() ? 0.0 : lib.back();
    std::printf("ratio    largest gap %.2fx the empty library's, p99 %.2fx (target: largest under 50 ms)\n",
                baseLargest > 0 ? largest / baseLargest : 0.0,
                percentile(base, 0.99) > 0 ? percentile(lib, 0.99) / percentile(base, 0.99) : 0.0);

    int status = restore.phase.rows > 0 ? 0 : 1;
    if (allLimit > 0 && restore.phase.rows > 0) {
        const auto& deck = *restore.deck;
        const bool all = runEventLoop(allLimit * 1000, [&] { return analysedCount(deck) == deck.tracks()->importedTracks().size(); },
                                      250);
        const double after = msBetween(restore.created, monotonicNs()) / 1000.0;
        if (all) {
            std::printf("library  every overview %.1f s after the constructor (%.1f ms per file)\n", after,
                        1000.0 * after / static_cast<double>(deck.tracks()->importedTracks().size()));
        } else {
            std::printf("library  only %lld of %lld overviews after %.0f s\n", static_cast<long long>(analysedCount(deck)),
                        static_cast<long long>(deck.tracks()->importedTracks().size()), after);
            status = 1;
        }
    }
    restore.deck.reset();
    return status;
}
