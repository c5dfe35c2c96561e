// The main thread's responsiveness while a pick of files is added at once: the real deck controller
// on the sound server, and a heartbeat on its main thread, a precise 5 ms timer stamping
// CLOCK_MONOTONIC. The gaps between beats are how long the main thread was kept from its events.
//   baseline  the heartbeat alone for BASELINE_SECONDS, the deck idle
//   import    addImportFiles() with every FILE at once, until all their rows are listed and one
//             second more
// For each: beats, the largest gap, the 99th percentile and the median, the process's CPU as a share
// of one core; then the import's largest and p99 gaps over the baseline's.
// Usage: quelmo_import_heartbeat BASELINE_SECONDS FILE...   (PULSE_SERVER as for the application)

#include "BenchSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"

#include <QCoreApplication>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace quelmo::bench;

struct Phase {
    std::vector<double> gaps;
    double seconds = 0.0;
    double cpuSeconds = 0.0;
};

void print(const char* name, const Phase& phase) {
    std::printf("%-9s %6zu beats in %5.1f s: largest gap %6.1f ms, p99 %5.1f ms, median %4.1f ms; CPU %5.1f %% of a core\n",
                name, phase.gaps.size() + 1, phase.seconds, phase.gaps.empty() ? 0.0 : phase.gaps.back(),
                percentile(phase.gaps, 0.99), percentile(phase.gaps, 0.5), 100.0 * phase.cpuSeconds / phase.seconds);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BASELINE_SECONDS FILE...\n", argv[0]);
        return 2;
    }
    const int baselineSeconds = std::atoi(argv[1]);
    const QList<QUrl> urls = fileUrlsFrom(argc, argv, 2);

    quelmo::QuelmoViewModel deck;
    if (!startDeck(deck)) {
        return 1;
    }
    runFor(2000); // past the deck's first seconds

    Heartbeat heartbeat(5);
    const auto measure = [&](const std::function<void()>& begin, const std::function<bool()>& done, int limitMs) {
        Phase phase;
        const std::int64_t start = monotonicNs();
        const double cpu = processCpuSeconds();
        heartbeat.start();
        begin();
        const bool finished = runUntil(done, limitMs);
        runFor(1000);
        heartbeat.stop();
        phase.seconds = static_cast<double>(monotonicNs() - start) / 1e9;
        phase.cpuSeconds = processCpuSeconds() - cpu;
        phase.gaps = heartbeat.sortedGapsMs();
        return std::make_pair(phase, finished);
    };

    const Phase baseline = measure([] {}, [] { return false; }, baselineSeconds * 1000).first;
    const auto expected = deck.tracks()->importedTracks().size() + urls.size();
    const std::int64_t importStart = monotonicNs();
    std::int64_t listed = 0;
    const auto [import, allListed] = measure(
        [&] { deck.tracks()->addImportFiles(urls); },
        [&] {
            if (deck.tracks()->importedTracks().size() < expected) {
                return false;
            }
            listed = monotonicNs();
            return true;
        },
        300000);

    print("baseline", baseline);
    print("import", import);
    if (!allListed) {
        std::printf("import    only %lld of %lld rows listed within 300 s\n",
                    static_cast<long long>(deck.tracks()->importedTracks().size()), static_cast<long long>(expected));
    } else {
        std::printf("import    %lld files listed %.2f s after addImportFiles()\n", static_cast<long long>(urls.size()),
                    static_cast<double>(listed - importStart) / 1e9);
    }
    const double baseLargest = baseline.gaps.empty() ? 0.0 : baseline.gaps.back();
    const double largest = import.gaps.empty() ? 0.0 : import.gaps.back();
    std::printf("ratio     largest gap %.2fx the baseline's, p99 %.2fx (target: largest under 50 ms)\n",
                baseLargest > 0 ? largest / baseLargest : 0.0,
                percentile(baseline.gaps, 0.99) > 0 ? percentile(import.gaps, 0.99) / percentile(baseline.gaps, 0.99)
                                                     : 0.0);
    deck.shutdown();
    return allListed ? 0 : 1;
}
