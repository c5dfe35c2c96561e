#include "dsp/DriftResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace quelmo::engine {
namespace {

constexpr std::size_t taps = DriftResampler::taps;
constexpr std::size_t behind = taps / 2 - 1; // frames before the one at the position
constexpr std::size_t ahead = taps / 2;      // frames after it
// The kernel: a sinc low-passed at 92 % of Nyquist under a Kaiser window (beta 8). Its error against
// an ideal fractional delay stays near -80 dB up to 15 kHz (a 4-point Hermite is at -69 dB at 1 kHz
// and -30 dB at 10 kHz).
constexpr double cutoff = 0.92;
constexpr double kaiserBeta = 8.0;

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

} // namespace

DriftResampler::DriftResampler(const Settings& settings)
    : settings_(settings),
      // A block reads at most maxBlockFrames * (1 + deviation) frames, plus the kernel's span and
      // one for rounding.
      left_(static_cast<std::size_t>(settings.maxBlockFrames * (1.0 + settings.maxRatioDeviation)) + taps + 2),
      right_(left_.size()), kernel_((phases + 1) * taps),
      ladder_(settings.targetFrames, settings.targetStepFrames, settings.maxTargetFrames, settings.relaxAfterSeconds) {
    // Row p holds the taps for a position p / phases past a frame, normalised to unity at DC.
    for (std::size_t p = 0; p <= phases; ++p) {
        const double t = static_cast<double>(p) / phases;
        float* row = kernel_.data() + p * taps;
        double sum = 0.0;
        std::vector<double> h(taps);
        for (std::size_t k = 0; k < taps; ++k) {
            const double x = static_cast<double>(k) - static_cast<double>(behind) - t;
            const double edge = x / (taps / 2.0);
            const double window = besselI0(kaiserBeta * std::sqrt(std::max(0.0, 1.0 - edge * edge))) / besselI0(kaiserBeta);
            const double sinc = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * cutoff * x) / (std::numbers::pi * cutoff * x);
            h[k] = cutoff * sinc * window;
            sum += h[k];
        }
        for (std::size_t k = 0; k < taps; ++k) {
            row[k] = static_cast<float>(h[k] / sum);
        }
    }
    // Critically damped loop on e' = rate * (drift - u), u = kp e + ki integral(e):
    // s^2 + rate kp s + rate ki = 0 with both roots at -w.
    const double w = settings_.loopRadiansPerSecond;
    kp_ = 2.0 * w / settings_.sampleRate;
    ki_ = w * w / settings_.sampleRate;
    reset();
}

void DriftResampler::reset() {
    count_ = 0;
    position_ = static_cast<double>(behind);
    playing_ = false;
    playedOnce_ = false;
    playedFrames_ = 0.0;
    ladder_.reset(0.0);
    target_.store(ladder_.value(), std::memory_order_relaxed);
    smoothedFill_ = settings_.targetFrames;
    integral_ = 0.0;
    currentRatio_ = 1.0;
    ratio_.store(1.0, std::memory_order_relaxed);
    queued_.store(0.0, std::memory_order_relaxed);
}

double DriftResampler::queued(const SampleRing& ring) const {
    const double local = playing_ ? std::max(0.0, static_cast<double>(count_) - position_) : 0.0;
    return static_cast<double>(ring.readable()) + local;
}

void DriftResampler::startPlaying(double queuedNow) {
    // Silence behind the first frame read, so the interpolation starts from silence.
    std::fill(left_.begin(), left_.begin() + behind, 0.0f);
    std::fill(right_.begin(), right_.begin() + behind, 0.0f);
    count_ = behind;
    position_ = static_cast<double>(behind);
    playing_ = true;
    playedOnce_ = true;
    smoothedFill_ = queuedNow;
}

void DriftResampler::updateRatio(double queuedNow, std::uint32_t frames) {
    const double seconds = frames / settings_.sampleRate;
    smoothedFill_ += (queuedNow - smoothedFill_) * (1.0 - std::exp(-seconds / settings_.fillSmoothingSeconds));
    const double error = smoothedFill_ - ladder_.value();
    const double limit = settings_.maxRatioDeviation;
    // The integral holds the clock difference once settled; it is bounded so that it alone never
    // asks for more than the clamp allows (no wind-up after a long stall).
    integral_ = std::clamp(integral_ + error * seconds, -limit / ki_, limit / ki_);
    currentRatio_ = 1.0 + std::clamp(kp_ * error + ki_ * integral_, -limit, limit);
    ratio_.store(currentRatio_, std::memory_order_relaxed);
    queued_.store(smoothedFill_, std::memory_order_relaxed);
}

std::uint32_t DriftResampler::process(SampleRing& ring, float* left, float* right, std::uint32_t frames) {
    frames = std::min(frames, settings_.maxBlockFrames);
    const double now = playedFrames_ / settings_.sampleRate;
    playedFrames_ += frames;
    const double target = ladder_.value();
    double queuedNow = queued(ring);

    if (queuedNow > settings_.dropAboveTargets * target) {
        // Far behind (a stall, or a source that delivered a long stretch at once): catch up now
        // rather than play seconds late. Local frames are dropped too, the ring down to the target.
        const double local = playing_ ? std::max(0.0, static_cast<double>(count_) - position_) : 0.0;
        const auto excess = static_cast<std::size_t>(
            std::max(0.0, static_cast<double>(ring.readable()) - target));
        const std::size_t skipped = ring.skip(excess);
        dropped_.fetch_add(skipped + static_cast<std::uint64_t>(local), std::memory_order_relaxed);
        playing_ = false;
        queuedNow = static_cast<double>(ring.readable());
    }

    if (!playing_) {
        if (queuedNow < target) {
            std::fill(left, left + frames, 0.0f);
            std::fill(right, right + frames, 0.0f);
            if (playedOnce_) {
                inserted_.fetch_add(frames, std::memory_order_relaxed);
            }
            queued_.store(queuedNow, std::memory_order_relaxed);
            return 0;
        }
        // Start from the target exactly: what came in beyond it while waiting would otherwise
        // take the clamped ratio seconds to play off.
        const auto excess = static_cast<std::size_t>(queuedNow - target);
        dropped_.fetch_add(ring.skip(excess), std::memory_order_relaxed);
        queuedNow = static_cast<double>(ring.readable());
        startPlaying(queuedNow);
    }

    updateRatio(queuedNow, frames);
    const double step = currentRatio_;

    // Fetch what this block's positions reach.
    const auto lastIndex = static_cast<std::size_t>(position_ + (frames - 1) * step) + ahead;
    if (lastIndex >= count_) {
        const std::size_t want = std::min(lastIndex + 1 - count_, left_.size() - count_);
        count_ += ring.read(left_.data() + count_, right_.data() + count_, want);
    }

    std::uint32_t produced = 0;
    double position = position_;
    for (; produced < frames; ++produced) {
        const auto i = static_cast<std::size_t>(position);
        if (i + ahead >= count_) {
            break;
        }
        // The taps for this fraction, between the two nearest rows of the table.
        const double phase = (position - static_cast<double>(i)) * phases;
        const auto row = static_cast<std::size_t>(phase);
        const auto between = static_cast<float>(phase - static_cast<double>(row));
        const float* a = kernel_.data() + row * taps;
        const float* b = a + taps;
        const float* l = left_.data() + (i - behind);
        const float* r = right_.data() + (i - behind);
        float sumLeft = 0.0f;
        float sumRight = 0.0f;
        for (std::size_t k = 0; k < taps; ++k) {
            const float h = a[k] + between * (b[k] - a[k]);
            sumLeft += h * l[k];
            sumRight += h * r[k];
        }
        left[produced] = sumLeft;
        right[produced] = sumRight;
        position += step;
    }

    if (produced < frames) {
        // Ran dry: silence for the rest, then prime again before playing on.
        std::fill(left + produced, left + frames, 0.0f);
        std::fill(right + produced, right + frames, 0.0f);
        inserted_.fetch_add(frames - produced, std::memory_order_relaxed);
        underruns_.fetch_add(1, std::memory_order_relaxed);
        target_.store(ladder_.ranDry(now), std::memory_order_relaxed);
        playing_ = false;
        count_ = 0;
        position_ = static_cast<double>(behind);
        queued_.store(static_cast<double>(ring.readable()), std::memory_order_relaxed);
        return produced;
    }

    if (ladder_.relax(now)) {
        // Steady for a while: give back one step of the latency a stall added. The ratio drains
        // the difference at most maxRatioDeviation at a time, so it cannot be heard.
        target_.store(ladder_.value(), std::memory_order_relaxed);
    }

    // Keep the frames the next position looks back on, and everything after it.
    const auto keepFrom = static_cast<std::size_t>(position) - behind;
    if (keepFrom > 0) {
        const std::size_t kept = count_ - keepFrom;
        std::memmove(left_.data(), left_.data() + keepFrom, kept * sizeof(float));
        std::memmove(right_.data(), right_.data() + keepFrom, kept * sizeof(float));
        count_ = kept;
        position -= static_cast<double>(keepFrom);
    }
    position_ = position;
    return produced;
}

} // namespace quelmo::engine
