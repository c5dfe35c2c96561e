#include "tracks/PulseSearch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace quelmo::pulse {

namespace {

// The comb at two phases side by side, each summed exactly as comb() sums it: the two sums then
// need not wait on each other.
std::array<double, 2> combs(const Envelope& e, double period, double phaseA, double phaseB, double from, double to) {
    double sumA = 0.0, sumB = 0.0;
    int nA = 0, nB = 0;
    double xA = phaseA + std::ceil((from - phaseA) / period) * period;
    double xB = phaseB + std::ceil((from - phaseB) / period) * period;
    for (; xA < to && xB < to; xA += period, xB += period, ++nA, ++nB) {
        sumA += at(e, xA);
        sumB += at(e, xB);
    }
    for (; xA < to; xA += period, ++nA) {
        sumA += at(e, xA);
    }
    for (; xB < to; xB += period, ++nB) {
        sumB += at(e, xB);
    }
    return {nA > 0 ? sumA / nA : 0.0, nB > 0 ? sumB / nB : 0.0};
}

// The best of `phases` (in order, the first of equals), two combs at a time.
void bestOf(const Envelope& e, double period, const std::vector<double>& phases, double from, double to, Phase& best) {
    for (std::size_t i = 0; i < phases.size(); i += 2) {
        const double a = phases[i], b = i + 1 < phases.size() ? phases[i + 1] : a;
        const auto [ma, mb] = combs(e, period, a, b, from, to);
        if (ma > best.mean) {
            best = {a, ma};
        }
        if (mb > best.mean) {
            best = {b, mb};
        }
    }
}

using DoublePair = double __attribute__((vector_size(16)));

inline DoublePair loadPair(const double* at) {
    DoublePair v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

} // namespace

float at(const Envelope& e, double x) {
    if (!(x >= 0.0)) {
        return 0.0f;
    }
    const auto i = static_cast<std::size_t>(x);
    if (i + 1 >= e.size()) {
        return 0.0f;
    }
    return std::max(e[i], e[i + 1]);
}

double comb(const Envelope& e, double period, double phase, double from, double to) {
    double sum = 0.0;
    int n = 0;
    double x = phase + std::ceil((from - phase) / period) * period;
    for (; x < to; x += period, ++n) {
        sum += at(e, x);
    }
    return n > 0 ? sum / n : 0.0;
}

Phase bestPhase(const Envelope& e, double period, double from, double to) {
    Phase best;
    std::vector<double> phases;
    for (double p = 0.0; p < period; p += 1.0) {
        phases.push_back(p);
    }
    bestOf(e, period, phases, from, to, best);
    phases.clear();
    for (double p = best.phase - 0.9; p <= best.phase + 0.9; p += 0.1) {
        phases.push_back(p);
    }
    bestOf(e, period, phases, from, to, best);
    return best;
}

float loudHitLevel(const Envelope& e, double from, double to) {
    std::vector<float> peaks;
    for (auto i = static_cast<std::size_t>(std::max(1.0, from)); i + 1 < e.size() && static_cast<double>(i) < to; ++i) {
        if (e[i] > 0.0f && e[i] >= e[i - 1] && e[i] > e[i + 1]) {
            peaks.push_back(e[i]);
        }
    }
    if (peaks.empty()) {
        return 0.0f;
    }
    const auto at99 = peaks.begin() + static_cast<std::ptrdiff_t>(peaks.size() * 99 / 100);
    std::nth_element(peaks.begin(), at99, peaks.end());
    return *at99 * 0.15f;
}

double coverage(const Envelope& e, double period, double phase, double from, double to, float loud) {
    int teeth = 0, met = 0;
    for (double x = phase + std::ceil((from - phase) / period) * period; x < to; x += period, ++teeth) {
        if (std::max(at(e, x - 1), at(e, x + 1)) >= loud) {
            ++met;
        }
    }
    return teeth > 0 ? static_cast<double>(met) / teeth : 0.0;
}

Phase bestCoverage(const Envelope& e, double period, double from, double to, float loud) {
    Phase best{0.0, -1.0};
    double bestComb = -1.0;
    for (double p = 0.0; p < period; p += 1.0) {
        const double c = coverage(e, period, p, from, to, loud);
        if (c > best.mean || (c == best.mean && comb(e, period, p, from, to) > bestComb)) {
            best = {p, c};
            bestComb = comb(e, period, p, from, to);
        }
    }
    return best;
}

double pulsePeriod(const Envelope& e, double minLag, double maxLag) {
    const auto n = e.size();
    const auto mean = static_cast<float>(std::accumulate(e.begin(), e.end(), 0.0) / static_cast<double>(n));
    const auto top = static_cast<std::size_t>(std::ceil(maxLag * 4)) + 2;
    const auto bottom = static_cast<std::size_t>(std::floor(minLag / 2));
    // Each product is of two floats, exact in double: the envelope, centred in float, is widened once.
    std::vector<double> centred(n);
    std::transform(e.begin(), e.end(), centred.begin(), [mean](float v) { return static_cast<double>(v - mean); });
    const double* d = centred.data();
    std::vector<double> acf(top + 1, 0.0);
    // Four sums side by side for each lag, two to a register (sum k takes the products at
    // i = lag + 4m + k, the rest after the last four in sum 0), and two lags at a time, which share
    // the earlier factor, so that the additions need not wait on each other.
    const auto finishLag = [&](std::size_t lag, std::size_t j, DoublePair low, DoublePair high) {
        for (; j + 4 <= n - lag; j += 4) {
            low += loadPair(d + lag + j) * loadPair(d + j);
            high += loadPair(d + lag + j + 2) * loadPair(d + j + 2);
        }
        for (; j < n - lag; ++j) {
            low[0] += d[lag + j] * d[j];
        }
        acf[lag] = ((low[0] + low[1]) + (high[0] + high[1])) / static_cast<double>(n - lag);
    };
    const std::size_t last = std::min(top, n - 1);
    std::size_t lag = bottom;
    for (; lag + 1 <= last; lag += 2) {
        DoublePair low{}, high{}, nextLow{}, nextHigh{};
        std::size_t j = 0;
        for (; j + 4 <= n - lag - 1; j += 4) {
            const DoublePair early = loadPair(d + j), earlyHigh = loadPair(d + j + 2);
            low += loadPair(d + lag + j) * early;
            high += loadPair(d + lag + j + 2) * earlyHigh;
            nextLow += loadPair(d + lag + 1 + j) * early;
            nextHigh += loadPair(d + lag + 1 + j + 2) * earlyHigh;
        }
        finishLag(lag, j, low, high);
        finishLag(lag + 1, j, nextLow, nextHigh);
    }
    if (lag <= last) {
        finishLag(lag, 0, DoublePair{}, DoublePair{});
    }
    // The beat with its half, its two beats and its bar.
    auto score = [&](std::size_t at) {
        return 0.5 * acf[at / 2] + acf[at] + acf[std::min(top, 2 * at)] + acf[std::min(top, 4 * at)];
    };
    std::size_t best = static_cast<std::size_t>(std::ceil(minLag));
    for (std::size_t at = best; at <= static_cast<std::size_t>(maxLag); ++at) {
        if (score(at) > score(best)) {
            best = at;
        }
    }
    const double a = score(best - 1), b = score(best), c = score(best + 1);
    const double curve = a - 2 * b + c;
    return static_cast<double>(best) + (curve < 0 ? 0.5 * (a - c) / curve : 0.0);
}

double refinePeriod(const Envelope& e, double period, double from, double to) {
    double best = period, bestMean = -1.0;
    for (double span : {0.015, 0.0015}) {
        const double centre = best;
        for (double p = centre * (1 - span); p <= centre * (1 + span); p += centre * span / 30.0) {
            const double m = bestPhase(e, p, from, to).mean;
            if (m > bestMean) {
                best = p;
                bestMean = m;
            }
        }
    }
    return best;
}

double fitPeriod(const Envelope& e, double period, double phase, double from, double to, float loud) {
    double n = 0.0, sk = 0.0, sx = 0.0, skk = 0.0, skx = 0.0;
    const double firstK = std::ceil((from - phase) / period);
    for (double k = firstK;; k += 1.0) {
        const double x = phase + k * period;
        if (x >= to) {
            break;
        }
        auto i = static_cast<std::ptrdiff_t>(std::lround(x));
        std::ptrdiff_t best = -1;
        for (std::ptrdiff_t j = i - 2; j <= i + 2; ++j) {
            if (j >= 1 && j + 1 < static_cast<std::ptrdiff_t>(e.size()) &&
                (best < 0 || e[static_cast<std::size_t>(j)] > e[static_cast<std::size_t>(best)])) {
                best = j;
            }
        }
        if (best < 0 || e[static_cast<std::size_t>(best)] < loud) {
            continue;
        }
        const double a = e[static_cast<std::size_t>(best - 1)], b = e[static_cast<std::size_t>(best)],
                     c = e[static_cast<std::size_t>(best + 1)];
        const double curve = a - 2.0 * b + c;
        const double place = static_cast<double>(best) + (curve < 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0);
        const double kk = k - firstK;
        n += 1.0;
        sk += kk;
        sx += place;
        skk += kk * kk;
        skx += kk * place;
    }
    const double spread = n * skk - sk * sk;
    if (n < 8.0 || spread <= 0.0) {
        return period;
    }
    const double fitted = (n * skx - sk * sx) / spread;
    // A line pulled off by hits between the beats is not taken.
    return std::abs(fitted / period - 1.0) < 0.002 ? fitted : period;
}

} // namespace quelmo::pulse
