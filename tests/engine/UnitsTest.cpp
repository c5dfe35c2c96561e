#include "EngineTestSupport.h"

#include "support/Bursts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace quelmo::engine;
using namespace quelmo::engine::test;

namespace {

// Plays a buffer through unit into the main mixer and returns the render.
template <typename Unit>
std::shared_ptr<AudioBuffer> through(OfflineEngine& rig, const std::shared_ptr<Unit>& unit,
                                     const std::shared_ptr<AudioBuffer>& input, std::uint32_t frames) {
    auto player = std::make_shared<PlayerNode>();
    rig.engine->attach(player);
    chain(*rig.engine, player, {unit});
    player->scheduleBuffer(input);
    player->play();
    return rig.render(frames);
}

// Gain in dB of one EQ band at a frequency, measured by playing a sine through the unit.
double measuredGain(FilterType type, double f0, double bw, double gain, double probe) {
    OfflineEngine rig;
    auto eq = std::make_shared<EQUnit>(1);
    auto& band = eq->band(0);
    band.setFilterType(type);
    band.setFrequency(static_cast<float>(f0));
    band.setBandwidth(static_cast<float>(bw));
    band.setGain(static_cast<float>(gain));
    band.setBypass(false);
    const auto out = through(rig, eq, sine(probe, 1.0, 0.25f), 44100);
    const float* tail = out->channel(0).data() + 22050; // past the filter's settling
    return 20.0 * std::log10(amplitudeAt(std::span(tail, 22050), 44100.0, probe) / 0.25);
}

} // namespace

TEST(EQUnit, BandsMatchTheirTextbookResponses) {
    struct Case {
        const char* what;
        FilterType type;
        double f0, bw, gain, probe, expectedDB, toleranceDB;
    };
    const Case cases[] = {
        {"low-pass passes the bass", FilterType::lowPass, 1000, 1, 0, 100, 0.0, 0.1},
        {"low-pass is 3 dB down at its corner", FilterType::lowPass, 1000, 1, 0, 1000, -3.01, 0.15},
        {"low-pass falls 12 dB per octave", FilterType::lowPass, 1000, 1, 0, 4000, -24.1, 1.0},
        {"parametric peaks at its centre", FilterType::parametric, 2600, 1.35, 6, 2600, 6.0, 0.1},
        {"parametric leaves far bands alone", FilterType::parametric, 2600, 1.35, 6, 100, 0.0, 0.2},
        {"parametric cut", FilterType::parametric, 2600, 1.35, -9, 2600, -9.0, 0.1},
        {"low shelf lifts the bass", FilterType::lowShelf, 120, 0.7, 6, 30, 6.0, 0.3},
        {"low shelf is half-way at its corner", FilterType::lowShelf, 120, 0.7, 6, 120, 3.0, 0.2},
        {"low shelf leaves the treble", FilterType::lowShelf, 120, 0.7, 6, 5000, 0.0, 0.1},
        {"high shelf lifts the treble", FilterType::highShelf, 9000, 0.7, -6, 18000, -6.0, 0.5},
        {"high shelf leaves the bass", FilterType::highShelf, 9000, 0.7, -6, 200, 0.0, 0.1},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(measuredGain(c.type, c.f0, c.bw, c.gain, c.probe), c.expectedDB, c.toleranceDB) << c.what;
    }
}

TEST(DelayUnit, ImpulseResponseRepeatsAtTheDelayWithTheFeedbackRatio) {
    OfflineEngine rig;
    auto delay = std::make_shared<DelayUnit>();
    delay->setDelayTime(0.1f); // 4410 frames
    delay->setFeedback(50.0f);
    delay->setWetDryMix(50.0f);
    delay->setLowPassCutoff(22050.0f); // unfiltered repeats
    const auto out = through(rig, delay, makeBuffer(1, [](std::uint32_t) { return 1.0f; }), 4410 * 4);
    const auto left = out->channel(0);
    EXPECT_FLOAT_EQ(left[0], 0.5f);
    EXPECT_FLOAT_EQ(left[4410], 0.5f);
    EXPECT_FLOAT_EQ(left[8820], 0.25f);
    EXPECT_FLOAT_EQ(left[13230], 0.125f);
    EXPECT_EQ(left[4409], 0.0f);
    EXPECT_EQ(left[4411], 0.0f);
}

// A unit at its neutral settings passes its input bit for bit: the rack stays transparent at its
// defaults.
TEST(RackUnits, NeutralUnitsPassTheirInputBitForBit) {
    const auto input = sine(220.0, 0.3, 0.8f);
    auto check = [&](const std::shared_ptr<AudioNode>& unit, const char* what) {
        OfflineEngine rig;
        const auto out = through(rig, unit, input, input->frameLength());
        for (std::uint32_t c = 0; c < 2; ++c) {
            EXPECT_TRUE(std::ranges::equal(out->channel(c), input->channel(c))) << what << ", channel " << c;
        }
    };
    auto reverb = std::make_shared<ReverbUnit>();
    reverb->loadFactoryPreset(static_cast<int>(ReverbUnit::Preset::largeHall));
    reverb->setWetDryMix(0.0f);
    check(reverb, "reverb");
    auto delay = std::make_shared<DelayUnit>();
    delay->setWetDryMix(0.0f);
    delay->setFeedback(90.0f);
    check(delay, "delay");
    auto distortion = std::make_shared<DistortionUnit>();
    distortion->setPreGain(20.0f);
    distortion->setWetDryMix(0.0f);
    check(distortion, "distortion");
    auto speaker = std::make_shared<DistortionUnit>();
    speaker->loadFactoryPreset(DistortionUnit::multiBrokenSpeaker);
    speaker->setWetDryMix(0.0f);
    check(speaker, "broken speaker");
    auto eq = std::make_shared<EQUnit>(3);
    const FilterType types[] = {FilterType::lowShelf, FilterType::parametric, FilterType::highShelf};
    for (std::size_t b = 0; b < 3; ++b) {
        eq->band(b).setFilterType(types[b]);
        eq->band(b).setGain(0.0f);
        eq->band(b).setBypass(false);
    }
    check(eq, "eq with flat bands");
    check(std::make_shared<TimePitchUnit>(), "time-pitch at rate 1, pitch 0");
}

TEST(RackUnits, ReverbRingsOnAndDistortionSaturates) {
    OfflineEngine rig;
    auto reverb = std::make_shared<ReverbUnit>();
    reverb->loadFactoryPreset(static_cast<int>(ReverbUnit::Preset::largeHall));
    reverb->setWetDryMix(100.0f);
    const auto out = through(rig, reverb, sine(440.0, 0.1), 44100 * 3);
    const auto left = out->channel(0);
    const double early = rms(left.data() + 8820, 4410);  // 0.2 s: after the dry burst ended
    const double late = rms(left.data() + 88200, 4410);  // 2.0 s
    EXPECT_GT(early, 1e-3);
    EXPECT_LT(late, early);

    OfflineEngine hot;
    auto distortion = std::make_shared<DistortionUnit>();
    distortion->setPreGain(20.0f);
    distortion->setWetDryMix(100.0f);
    const auto clipped = through(hot, distortion, sine(220.0, 0.2, 0.9f), 8820);
    const auto [lowest, highest] = std::ranges::minmax(clipped->channel(0));
    EXPECT_LE(std::max(-lowest, highest), 1.0f);
    EXPECT_GT(std::max(-lowest, highest), 0.99f);
}

// A unit warmed up later (on a worker, while the deck starts) plays its input through unchanged
// until the warm-up is done, then shifts it.
TEST(TimePitchUnit, AnOctaveUpMovesA440ToneTo880OnceWarm) {
    OfflineEngine rig;
    auto unit = std::make_shared<TimePitchUnit>(TimePitchUnit::WarmUp::later);
    unit->setPitch(1200.0f);
    const auto cold = through(rig, unit, sine(440.0, 3.0), 22050);
    const auto coldLeft = cold->channel(0);
    EXPECT_NEAR(dominantFrequency(coldLeft.data() + 4410, 13230, 300.0, 1200.0), 440.0, 5.0) << "cold: bypassed";
    EXPECT_FALSE(unit->isWarm());

    unit->warmUp();
    const auto out = rig.render(44100);
    const float* middle = out->channel(0).data() + 11025;
    EXPECT_NEAR(dominantFrequency(middle, 22050, 300.0, 1200.0), 880.0, 5.0);
    EXPECT_GT(amplitudeAt(std::span(middle, 22050), 44100.0, 880.0),
              10.0 * amplitudeAt(std::span(middle, 22050), 44100.0, 440.0));
}

TEST(TimePitchUnit, RateTwoPlaysInHalfTheTime) {
    OfflineEngine rig;
    auto unit = std::make_shared<TimePitchUnit>();
    unit->setRate(2.0f);
    const auto out = through(rig, unit, sine(440.0, 1.0), 44100);
    const auto left = out->channel(0);
    // Sound while the compressed second plays, silence after its half-second.
    EXPECT_GT(rms(left.data() + 4410, 13230), 0.2);
    EXPECT_LT(rms(left.data() + 26460, 13230), 0.01);
    // The pitch is kept.
    EXPECT_NEAR(dominantFrequency(left.data() + 4410, 13230, 300.0, 1000.0), 440.0, 5.0);
}

TEST(TimePitchUnit, AStretchedSoundPlaysOutWholeThenTheUnitReportsSilence) {
    // Passes its input on and notes the first frame from which every block came flagged silent.
    class SilenceProbe final : public AudioNode {
    public:
        SilenceProbe() : AudioNode(1) {}
        std::int64_t silentSince = -1;

    protected:
        void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override {
            const StereoBus& in = pullInput(0, context, frames);
            out.copyFrom(in, frames);
            out.silent = in.silent;
            if (!in.silent) {
                silentSince = -1;
            } else if (silentSince < 0) {
                silentSince = context.sampleTime;
            }
        }
    };
    OfflineEngine rig;
    auto unit = std::make_shared<TimePitchUnit>();
    unit->setRate(0.5f);
    unit->setPitch(-300.0f);
    auto probe = std::make_shared<SilenceProbe>();
    auto player = std::make_shared<PlayerNode>();
    rig.engine->attach(player);
    chain(*rig.engine, player, {unit, probe});
    player->scheduleBuffer(sine(440.0, 0.5));
    player->play();
    // Half a second of tone, stretched to a second, then nothing but silence.
    const auto out = rig.render(3 * 44100);
    const auto left = out->channel(0);
    EXPECT_GT(rms(left.data() + 40000, 4000), 0.1) << "the stretched tone's last tenth";
    EXPECT_LT(rms(left.data() + 50000, 4000), 0.01);
    ASSERT_GE(probe->silentSince, 44100) << "not before the tone has played out";
    EXPECT_LT(probe->silentSince, 2 * 44100) << "the unit rests soon after its tail";
}

TEST(RackUnits, WhateverTheSettingsTheEngineRestsTwoSecondsAfterTheLastAudibleSample) {
    struct Settings {
        float rate, cents, delaySeconds, feedback, delayMix, reverbMix, distortionMix;
    };
    for (const Settings& s : {Settings{1.0f, 0.0f, 0.3f, 40.0f, 0.0f, 0.0f, 0.0f},
                              Settings{1.5f, 300.0f, 1.25f, 40.0f, 30.0f, 30.0f, 20.0f},
                              Settings{0.5f, -1200.0f, 0.05f, 90.0f, 100.0f, 100.0f, 100.0f}}) {
        auto owned = std::make_unique<SuspendableDriver>();
        SuspendableDriver* driver = owned.get();
        AudioEngine engine(std::move(owned));
        auto player = std::make_shared<PlayerNode>();
        auto timePitch = std::make_shared<TimePitchUnit>();
        timePitch->setRate(s.rate);
        timePitch->setPitch(s.cents);
        auto filter = std::make_shared<EQUnit>(1);
        filter->band(0).setFilterType(FilterType::lowPass);
        filter->band(0).setFrequency(3000.0f);
        filter->band(0).setBypass(false);
        auto delay = std::make_shared<DelayUnit>();
        delay->setDelayTime(s.delaySeconds);
        delay->setFeedback(s.feedback);
        delay->setWetDryMix(s.delayMix);
        auto reverb = std::make_shared<ReverbUnit>();
        reverb->loadFactoryPreset(static_cast<int>(ReverbUnit::Preset::largeHall));
        reverb->setWetDryMix(s.reverbMix);
        auto distortion = std::make_shared<DistortionUnit>();
        distortion->loadFactoryPreset(DistortionUnit::multiBrokenSpeaker);
        distortion->setWetDryMix(s.distortionMix);
        engine.attach(player);
        chain(engine, player, {timePitch, filter, delay, reverb, distortion});
        engine.start();
        player->scheduleBuffer(sine(120.0, 0.2, 0.9f));
        player->play();

        std::int64_t lastAudible = 0;
        std::int64_t restedAt = -1;
        std::vector<float> left(512), right(512);
        float* channels[2] = {left.data(), right.data()};
        for (std::int64_t at = 0; at < 60 * 44100 && restedAt < 0; at += 512) {
            driver->offline.renderBlock(channels, 512);
            for (std::int64_t i = 0; i < 512; ++i) {
                if (std::fabs(left[i]) >= 1e-5f || std::fabs(right[i]) >= 1e-5f) {
                    lastAudible = at + i;
                }
            }
            engine.dispatchEvents();
            if (engine.isSuspended()) {
                restedAt = at + 512;
            }
        }
        ASSERT_GT(restedAt, 0) << "rate " << s.rate << ": never rested";
        EXPECT_GT(lastAudible, 4410) << "the hit sounded";
        const double after = static_cast<double>(restedAt - lastAudible) / 44100.0;
        EXPECT_GE(after, AudioEngine::suspendAfterSeconds) << "rate " << s.rate;
        EXPECT_LT(after, AudioEngine::suspendAfterSeconds + 0.05) << "rate " << s.rate;
    }
}

TEST(RackUnits, AfterLongSilenceTheRackRestsAndAHitSoundsAsOnAFreshRack) {
    auto renderHit = [](bool afterSilence) {
        OfflineEngine rig;
        auto player = std::make_shared<PlayerNode>();
        auto eq = std::make_shared<EQUnit>(1);
        eq->band(0).setFilterType(FilterType::lowPass);
        eq->band(0).setFrequency(5000.0f);
        eq->band(0).setBypass(false);
        auto delay = std::make_shared<DelayUnit>();
        delay->setWetDryMix(30.0f);
        auto reverb = std::make_shared<ReverbUnit>();
        reverb->setWetDryMix(30.0f);
        auto distortion = std::make_shared<DistortionUnit>();
        distortion->setWetDryMix(30.0f);
        rig.engine->attach(player);
        chain(*rig.engine, player, {eq, delay, reverb, distortion});
        player->play();
        if (afterSilence) {
            rig.render(44100 * 12); // every unit has settled and rests
        }
        player->scheduleBuffer(sine(200.0, 0.2));
        return rig.render(44100);
    };
    const auto fresh = renderHit(false);
    const auto rested = renderHit(true);
    for (std::uint32_t i = 0; i < 44100; i += 37) {
        ASSERT_NEAR(rested->channel(0)[i], fresh->channel(0)[i], 1e-5) << i;
    }
}

TEST(TimePitchUnit, AClickTrackStretchedFrom120To128BpmKeepsEveryClickOnTheFasterGridForAMinute) {
    // 120 BPM clicks (a 3 ms burst every 22050 frames), booked to begin on a frame inside a block.
    constexpr double from = 120.0, to = 128.0, sr = 44100.0;
    constexpr std::uint32_t clickEvery = 22050, seconds = 66;
    const auto clicks = makeBuffer(seconds * 44100, [](std::uint32_t i) {
        const std::uint32_t t = i % clickEvery;
        return t < 132 ? 0.8f * static_cast<float>(std::sin(2.0 * 3.14159265358979 * 3000.0 * t / sr)) : 0.0f;
    });
    OfflineEngine rig;
    auto unit = std::make_shared<TimePitchUnit>();
    unit->setRate(static_cast<float>(to / from));
    auto player = std::make_shared<PlayerNode>();
    rig.engine->attach(player);
    chain(*rig.engine, player, {unit});
    const std::int64_t start = 4 * 512 + 301;
    player->scheduleBuffer(clicks, start);
    unit->startAt(start);
    player->play();
    const auto out = rig.render(61 * 44100); // a minute of output, and the start
    const auto left = out->channel(0);

    // Where each stretched click sounds: its energy's peak less the clean click's (its middle).
    const std::vector<float> clean(clicks->channel(0).begin(), clicks->channel(0).begin() + clickEvery);
    const double ownPeak = quelmo::test::burstPeaks(clean, 0.05f).front();
    std::vector<double> found = quelmo::test::burstPeaks(std::vector<float>(left.begin(), left.end()), 0.05f);
    for (auto& f : found) {
        f -= ownPeak;
    }
    const double beat = sr * 60.0 / to;
    ASSERT_GE(found.size(), 129u) << "a minute of beats at 128 BPM, and the first";
    double worst = 0.0, firstMean = 0.0, lastMean = 0.0;
    for (std::size_t k = 0; k < found.size(); ++k) {
        const double error = found[k] - (static_cast<double>(start) + static_cast<double>(k) * beat);
        worst = std::max(worst, std::abs(error));
        (k < 16 ? firstMean : lastMean) += k < 16 || k >= found.size() - 16 ? error / 16.0 : 0.0;
    }
    std::printf("stretched clicks: worst %.2f ms off the grid; mean %.2f ms over the first 16, %.2f ms over the last 16\n",
                worst / sr * 1000.0, firstMean / sr * 1000.0, lastMean / sr * 1000.0);
    // Every click within a millisecond of its place, and the grid itself never drifts.
    EXPECT_LT(worst, sr * 0.001);
    EXPECT_NEAR(lastMean, firstMean, sr * 0.0005);
}
