// The capture reader against a producer on another clock, simulated offline: a sine arrives in 10 ms
// fragments, 0.3 % faster or slower than the output reads it in 512-frame blocks.

#include "engine/dsp/DriftResampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <tuple>
#include <vector>

using namespace quelmo::engine;

namespace {

constexpr double rate = 44100.0;
constexpr std::uint32_t block = 512;
constexpr std::size_t fragment = 441;
constexpr int period = 42; // 1050 Hz: a whole number of samples per cycle, so the source is exact
constexpr double hz = rate / period;
constexpr float amplitude = 0.5f;

// A capture source on its own clock: speed 1.003 delivers 0.3 % more frames per output second.
struct Producer {
    SampleRing& ring;
    double speed;
    double due = 0.0;
    std::int64_t written = 0;
    std::size_t size = fragment;
    // Late fragments: the first to end past each multiple of lateEvery frames comes lateBy frames
    // after it fell due, and the ones held up behind it with it (a server thread woken late).
    double lateEvery = 0.0;
    double lateBy = 0.0;
    double lateUntil = 1e300;
    std::vector<float> samples = std::vector<float>(fragment);

    // Delivers the whole fragments that fell due while the output played frames.
    void advance(std::uint32_t frames) {
        due += frames * speed;
        while (static_cast<double>(written + static_cast<std::int64_t>(size)) <= due) {
            const auto end = static_cast<double>(written + static_cast<std::int64_t>(size));
            if (lateEvery > 0.0 && end < lateUntil && std::fmod(end, lateEvery) < static_cast<double>(size) &&
                end + lateBy > due) {
                break;
            }
            deliver(size);
        }
    }
    void deliver(std::size_t frames) {
        samples.resize(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            const auto n = static_cast<int>((written + static_cast<std::int64_t>(i)) % period);
            samples[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * n / period));
        }
        ring.write(samples.data(), samples.data(), frames);
        written += static_cast<std::int64_t>(frames);
    }
};

// Least-squares fit of a sine to x whose phase advances by omegaBefore per sample over the first
// half and omegaAfter over the second; the residual's energy relative to the fitted sine's.
double residualRatio(const float* x, std::size_t n, double omegaBefore, double omegaAfter) {
    std::vector<double> phase(n);
    for (std::size_t i = 1; i < n; ++i) {
        phase[i] = phase[i - 1] + (i <= n / 2 ? omegaBefore : omegaAfter);
    }
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double s = std::sin(phase[i]);
        const double c = std::cos(phase[i]);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        xs += x[i] * s;
        xc += x[i] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double residual = 0, fitted = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double y = a * std::sin(phase[i]) + b * std::cos(phase[i]);
        residual += (x[i] - y) * (x[i] - y);
        fitted += y * y;
    }
    return residual / fitted;
}

// Ten minutes of output; two under the sanitizers, whose unoptimised builds check memory and
// threads, not endurance, and would take minutes over it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr double simulatedSeconds = 120.0;
#else
constexpr double simulatedSeconds = 600.0;
#endif

class ClockDrift : public ::testing::TestWithParam<double> {};

} // namespace

TEST_P(ClockDrift, MinutesOfCaptureHoldTheLatencyWithoutGapsAndPlayACleanSine) {
    SampleRing ring(44100);
    DriftResampler reader;
    Producer producer{ring, 1.0 + GetParam()};
    const double target = reader.targetFrames();

    constexpr std::int64_t blocks = static_cast<std::int64_t>(simulatedSeconds * rate / block);
    constexpr std::int64_t settledAfter = static_cast<std::int64_t>(60 * rate / block);
    std::vector<float> previous(block), current(block), right(block), window(block);
    double previousRatio = 1.0;
    double furthestFromTarget = 0.0;
    double worstResidual = 0.0;
    double meanRatio = 0.0;
    double maxRatioStep = 0.0;
    std::uint64_t droppedWhenSettled = 0;
    for (std::int64_t k = 0; k < blocks; ++k) {
        producer.advance(block);
        const std::uint32_t played = reader.process(ring, current.data(), right.data(), block);
        const double ratio = reader.ratio();
        if (k == settledAfter) {
            droppedWhenSettled = reader.droppedFrames(); // the start trims the queue to the target
        }
        if (k >= settledAfter) {
            ASSERT_EQ(played, block) << "block " << k;
            furthestFromTarget = std::max(furthestFromTarget, std::abs(reader.queuedFrames() - target));
            meanRatio += ratio / static_cast<double>(blocks - settledAfter);
            // A window across the block boundary: a lost, doubled or misplaced frame shows here.
            std::copy(previous.begin() + block / 2, previous.end(), window.begin());
            std::copy(current.begin(), current.begin() + block / 2, window.begin() + block / 2);
            // The ratio changes a little from block to block, and the sine's frequency with it.
            const double omega = 2.0 * std::numbers::pi * hz / rate;
            worstResidual =
                std::max(worstResidual, residualRatio(window.data(), block, omega * previousRatio, omega * ratio));
            maxRatioStep = std::max(maxRatioStep, std::abs(ratio - previousRatio));
        }
        std::swap(previous, current);
        previousRatio = ratio;
    }

    EXPECT_LT(droppedWhenSettled, fragment);
    EXPECT_EQ(reader.droppedFrames(), droppedWhenSettled);
    EXPECT_EQ(reader.insertedFrames(), 0u);
    EXPECT_EQ(reader.underruns(), 0u);
    EXPECT_LT(furthestFromTarget, 0.002 * rate);
    EXPECT_NEAR(meanRatio, 1.0 + GetParam(), 1e-5);
    EXPECT_LT(10.0 * std::log10(worstResidual), -70.0);
    std::printf("drift %+.1f %%: queue within %.1f ms of the target, ratio steps up to %.2g, residual %.1f dB\n",
                GetParam() * 100, furthestFromTarget / rate * 1000, maxRatioStep, 10.0 * std::log10(worstResidual));
}

INSTANTIATE_TEST_SUITE_P(DriftResampler, ClockDrift, ::testing::Values(0.003, -0.003));

TEST(DriftResampler, AStallPlaysOneGapAndABurstIsDroppedDownToTheTarget) {
    SampleRing ring(44100);
    DriftResampler reader;
    Producer producer{ring, 1.0};
    const double target = reader.targetFrames();
    std::vector<float> left(block), right(block);
    auto play = [&](int blocks, bool produce) {
        std::uint32_t heard = 0;
        for (int k = 0; k < blocks; ++k) {
            if (produce) {
                producer.advance(block);
            } else {
                producer.due += block; // the source falls silent; its clock runs on
                producer.written += block;
            }
            heard += reader.process(ring, left.data(), right.data(), block);
        }
        return heard;
    };

    // Before the queue reaches the target nothing plays, and that first wait is not a gap.
    EXPECT_EQ(play(1, true), 0u);
    play(860, true); // 10 s
    EXPECT_EQ(reader.insertedFrames(), 0u);
    EXPECT_EQ(reader.underruns(), 0u);

    // 200 ms without capture: the queue runs out once, the rest of the stall is silence, and the
    // target grows by a step.
    EXPECT_LT(play(17, false), 3u * block);
    EXPECT_EQ(reader.underruns(), 1u);
    EXPECT_GT(reader.insertedFrames(), 17u * block - static_cast<std::uint64_t>(target) - block);
    const double raised = reader.targetFrames();
    EXPECT_DOUBLE_EQ(raised, target + 0.005 * rate);

    // Capture resumes: the reader waits for a full queue again (more silence), then plays every block.
    EXPECT_LE(play(3, true), block);
    const std::uint64_t gap = reader.insertedFrames();
    EXPECT_NEAR(static_cast<double>(gap), 0.2 * rate + raised, 2.0 * block);
    EXPECT_EQ(play(430, true), 430u * block);
    EXPECT_EQ(reader.underruns(), 1u);
    EXPECT_NEAR(reader.queuedFrames(), raised, 0.002 * rate);

    // 300 ms arrive at once: the excess is dropped in one go and playback goes on near the target.
    const double before = reader.queuedFrames();
    const std::uint64_t droppedBefore = reader.droppedFrames();
    producer.deliver(static_cast<std::size_t>(0.3 * rate));
    EXPECT_EQ(play(1, false), block);
    EXPECT_NEAR(static_cast<double>(reader.droppedFrames() - droppedBefore), before + 0.3 * rate - raised, block);
    EXPECT_NEAR(reader.queuedFrames(), raised, 0.002 * rate);
    EXPECT_EQ(reader.underruns(), 1u);
    EXPECT_EQ(reader.insertedFrames(), gap);
}

// The capture as a sound server hands it over with a short queue: 5 ms fragments read in 128-frame
// blocks against an 8 ms target, one fragment 4 ms late every 20 s. The late fragment empties the
// 8 ms queue but not one a step longer. The queue must learn that step and keep it, not give it
// back after every quiet half minute and run dry (a gap the listener hears) every 20 to 40 s. A
// single late fragment, by contrast, must cost its step only until the queue has been quiet a while,
// and a step learned in a bad minute must be given back after minutes without trouble.
TEST(DriftResampler, ALateFragmentEveryFewSecondsCostsOneStepForGoodAndALoneOneOnlyForAWhile) {
    DriftResampler::Settings settings;
    settings.targetFrames = 0.008 * rate;
    const double step = settings.targetStepFrames;
    constexpr std::uint32_t smallBlock = 128;
    auto run = [&](double lateEverySeconds, double seconds, double lateUntilSeconds = 1e9) {
        SampleRing ring(44100);
        DriftResampler reader(settings);
        Producer producer{ring, 1.0};
        producer.size = 220;
        producer.lateEvery = lateEverySeconds * rate;
        producer.lateBy = 0.004 * rate;
        producer.lateUntil = lateUntilSeconds * rate;
        std::vector<float> left(smallBlock), right(smallBlock);
        double highest = 0.0;
        const auto blocks = static_cast<std::int64_t>(seconds * rate / smallBlock);
        for (std::int64_t k = 0; k < blocks; ++k) {
            producer.advance(smallBlock);
            reader.process(ring, left.data(), right.data(), smallBlock);
            highest = std::max(highest, reader.targetFrames());
        }
        return std::tuple{reader.underruns(), reader.targetFrames(), highest};
    };

    const auto [gaps, target, highest] = run(20.0, simulatedSeconds);
    // The first late fragment raises the queue; the first after its step back down shows the step is
    // needed. After that only the floor's own try, five minutes on, costs a gap or two (the old rule
    // of stepping back down after every quiet half minute made 14).
    EXPECT_LE(gaps, simulatedSeconds > 360.0 ? 4u : 2u);
    EXPECT_DOUBLE_EQ(target, settings.targetFrames + step);
    EXPECT_DOUBLE_EQ(highest, settings.targetFrames + step);

    const auto [loneGaps, loneTarget, loneHighest] = run(40.0, 75.0); // one late fragment, at 40 s
    EXPECT_EQ(loneGaps, 1u);
    EXPECT_DOUBLE_EQ(loneHighest, settings.targetFrames + step);
    EXPECT_DOUBLE_EQ(loneTarget, settings.targetFrames);
    // Late every 20 s for a minute, then on time: the learned step goes after ten quiet spells.
    const auto [badMinuteGaps, badMinuteTarget, badMinuteHighest] = run(20.0, 420.0, 70.0);
    EXPECT_LE(badMinuteGaps, 2u);
    EXPECT_DOUBLE_EQ(badMinuteHighest, settings.targetFrames + step);
    EXPECT_DOUBLE_EQ(badMinuteTarget, settings.targetFrames);
    std::printf("a late fragment every 20 s: %llu gaps in %.0f s, the queue keeps %.1f ms\n",
                static_cast<unsigned long long>(gaps), simulatedSeconds, target / rate * 1000);
}
