// Analyses one audio file the way the deck does and prints what it took:
//   seconds <wall> frames <n> passes <1|2> levels <n> peak_rss_kib <n>
// Usage: quelmo_waveform_bench FILE
#include "tracks/WaveformAnalysis.h"

#include <sys/resource.h>

#include <chrono>
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
    std::printf("seconds %.3f frames %lld passes %d levels %zu peak_rss_kib %ld\n", took.count(),
                static_cast<long long>(result->frameCount), result->passes, result->levels.size(), usage.ru_maxrss);
    return 0;
}
