// Analyses one audio file the way the deck does and prints what it took:
//   seconds <wall> frames <n> passes <1|2> levels <n> peak_rss_kib <n> bpm <x|-> confidence <x>
//   lufs <x|-> true_peak_db <x>
// Usage: quelmo_waveform_bench FILE
#include "tracks/WaveformAnalysis.h"

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto result = quelmo::analyzeWaveformFile(argv[1]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!result) {
        std::fprintf(stderr, "no overview for %s\n", argv[1]);
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto& m = result->measures;
    std::printf("seconds %.3f frames %lld passes %d levels %zu peak_rss_kib %ld", took.count(),
                static_cast<long long>(result->frameCount), result->passes, result->levels.size(), usage.ru_maxrss);
    if (m.grid) {
        std::printf(" bpm %.2f first_beat %.4f", m.grid->bpm(), m.grid->firstBeat);
    } else {
        std::printf(" bpm -");
    }
    std::printf(" confidence %.2f", m.tempoConfidence);
    if (m.loudness) {
        std::printf(" lufs %.2f", *m.loudness);
    } else {
        std::printf(" lufs -");
    }
    std::printf(" true_peak_db %.2f\n", m.truePeak > 0 ? 20 * std::log10(m.truePeak) : -999.0);
    return 0;
}
