#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"
#include "timing/TimingController.h"
#include "mix/MixController.h"
#include "engine/devices/OfflineDriver.h"
#include "samples/QuelmoSampleBuffers.h"
#include "support/ClockedDeck.h"
#include "timing/TransportMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quelmo;

namespace {

constexpr double rate = 44100.0;

// A deck whose audio and clock move together, in device-sized requests, under the test's control.
struct TimedDeck : test::ClockedDeck {
    using ClockedDeck::ClockedDeck;
    std::int64_t frames = 0;
    std::vector<float> output; // left channel of the deck's output, from sample 0

    double seconds() const { return static_cast<double>(frames) / rate; }

    void advance(double by, std::uint32_t request = 441) {
        const std::int64_t target = frames + std::llround(by * rate);
        auto& engine = model->audioEngine();
        while (frames < target) {
            const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(request, target - frames));
            if (engine.isRunning()) {
                render(n);
            }
            frames += n;
            const auto now = std::chrono::nanoseconds(std::llround(static_cast<double>(frames) * 1e9 / rate));
            scheduler->advance(now - scheduler->now());
            engine.dispatchEvents();
        }
    }

    // The audio renders on while the main thread is held up: its clocks fire late, all at once, on
    // the next advance.
    void holdUpMainThread(double by, std::uint32_t request = 441) {
        const std::int64_t target = frames + std::llround(by * rate);
        while (frames < target) {
            const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(request, target - frames));
            render(n);
            frames += n;
        }
    }

    void render(std::uint32_t n) {
        const auto block = static_cast<engine::OfflineDriver&>(model->audioEngine().driver()).renderFrames(n, n);
        output.insert(output.end(), block->channel(0).begin(), block->channel(0).end());
    }
};

// Records one node's output by sample time.
struct NodeRecorder {
    std::vector<float> samples;
    explicit NodeRecorder(engine::AudioNode& node) {
        node.installTap([this](const float* const* channels, std::uint32_t n, std::int64_t at) {
            if (samples.size() < static_cast<std::size_t>(at) + n) {
                samples.resize(static_cast<std::size_t>(at) + n);
            }
            std::copy_n(channels[0], n, samples.begin() + at);
        });
    }
};

// Where copies of buffer begin in signal: the sample of each rise out of a silent stretch, less
// the silent lead-in of the buffer itself (a sine starts on a zero).
std::vector<std::int64_t> onsets(const std::vector<float>& signal, const engine::AudioBuffer& buffer) {
    std::int64_t lead = 0;
    while (lead < buffer.frameLength() && buffer.channel(0)[static_cast<std::size_t>(lead)] == 0.0f) {
        ++lead;
    }
    std::vector<std::int64_t> found;
    std::int64_t silent = 64;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        if (std::abs(signal[i]) > 1e-6f) {
            if (silent >= 64) {
                found.push_back(static_cast<std::int64_t>(i) - lead);
            }
            silent = 0;
        } else {
            ++silent;
        }
    }
    return found;
}

std::int64_t framesOf(double seconds) { return std::llround(seconds * rate); }

// Where a grid started at a request boundary begins: one 441-frame request and the slack later.
constexpr std::int64_t horizon = 441 + engine::AudioEngine::schedulingSlackFrames;

} // namespace

TEST(TransportMath, TempoClampsAndThePlayheadWrapsWithinTheBar) {
    EXPECT_EQ(transport::effectiveBpm(200), 190.0);
    EXPECT_EQ(transport::effectiveBpm(10), 60.0);
    EXPECT_EQ(transport::stepSeconds(1000), transport::stepSeconds(190));
    EXPECT_DOUBLE_EQ(transport::playheadAt(0.0, -0.5, 120), 0.75);
    EXPECT_EQ(transport::advanceTrackPosition(4.0, 0.0, 1.0 / 30), 4.0) << "an unknown duration holds the position";

    // Grid samples come from the event number, so 190 BPM does not drift over an hour of steps.
    transport::BeatGrid grid{1000, 0.0, transport::stepSeconds(190), rate};
    const std::int64_t hour = 3600 * 190 * 4 / 60;
    EXPECT_EQ(grid.sampleOf(hour), 1000 + 3600 * 44100);
}

TEST(Transport, StartClicksAtOnceThenEveryBeatOnItsSample) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder clicks(*deck.model->beatPlayerNode());
    deck.advance(0.1);
    const std::int64_t pressed = deck.frames;
    deck.model->timing()->togglePlay();
    EXPECT_TRUE(deck.model->timing()->isPlaying());
    deck.advance(1.2);
    const auto found = onsets(clicks.samples, *deck.model->tickBuffer());
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0] - pressed, horizon) << "the first click sounds on the press";
    EXPECT_EQ(found[1] - found[0], 22050);
    EXPECT_EQ(found[2] - found[0], 44100);
    // The click level is the metronome control's.
    const auto tick = deck.model->tickBuffer();
    EXPECT_FLOAT_EQ(clicks.samples[static_cast<std::size_t>(found[1]) + 40], tick->channel(0)[40] * 0.65f);
}

TEST(Transport, StopSilencesBookedClicksLetsTheSoundingOneRingAndStartResumesThePlayhead) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder clicks(*deck.model->beatPlayerNode());
    deck.model->timing()->togglePlay();
    deck.advance(0.51); // the second click has just begun; the third is booked
    deck.model->timing()->togglePlay();
    EXPECT_FALSE(deck.model->timing()->isPlaying());
    const double stoppedAt = deck.model->timing()->playhead();
    EXPECT_NEAR(stoppedAt, 0.25, 0.02);
    deck.advance(1.5);
    const auto found = onsets(clicks.samples, *deck.model->tickBuffer());
    ASSERT_EQ(found.size(), 2u) << "no click after the stop";
    const auto tick = deck.model->tickBuffer();
    const auto last = static_cast<std::size_t>(found[1]) + tick->frameLength() - 2;
    EXPECT_NE(clicks.samples[last], 0.0f) << "the sounding click played out";
    EXPECT_EQ(deck.model->timing()->playhead(), stoppedAt);

    deck.model->timing()->togglePlay();
    deck.advance(0.5);
    EXPECT_NEAR(deck.model->timing()->playhead(), stoppedAt + 0.25, 0.02) << "resumed, not rewound";
}

TEST(Transport, AtOneTwentyThePlayheadCrossesTheBarInTwoSecondsAndWraps) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->timing()->togglePlay();
    double highest = 0.0;
    while (deck.seconds() < 1.99) {
        deck.advance(0.01);
        highest = std::max(highest, deck.model->timing()->playhead());
    }
    EXPECT_GT(highest, 0.97);
    EXPECT_LT(highest, 1.0);
    deck.advance(0.1);
    EXPECT_LT(deck.model->timing()->playhead(), 0.06);
}

TEST(Transport, ATempoChangeRestartsTheClickIntervalAndJumpsThePlayhead) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder clicks(*deck.model->beatPlayerNode());
    deck.model->timing()->togglePlay();
    const std::int64_t started = deck.frames;
    deck.advance(0.75);
    EXPECT_NEAR(deck.model->timing()->playhead(), 0.375, 0.02);
    const std::int64_t changed = deck.frames;
    deck.model->timing()->setBpm(60);
    deck.advance(0.05);
    // Not re-anchored: as if the whole 0.8 s had run at 60 BPM.
    EXPECT_NEAR(deck.model->timing()->playhead(), 0.2, 0.02);
    deck.advance(1.5);
    const auto found = onsets(clicks.samples, *deck.model->tickBuffer());
    ASSERT_EQ(found.size(), 3u) << "the click booked for 1.0 s never sounds";
    EXPECT_LT(found[1] - started, framesOf(0.52));
    EXPECT_EQ(found[2] - changed, horizon + 44100) << "one new beat after the change";
}

TEST(Transport, TheImportPositionAdvancesOnlyWhileTheTransportRuns) {
    TimedDeck deck;
    deck.model->tracks()->setImportPlaying(true);
    deck.model->tracks()->setCurrentTrackDuration(10.0);
    deck.model->tracks()->setCurrentTrackPosition(9.5);
    deck.advance(1.0);
    EXPECT_EQ(deck.model->tracks()->currentTrackPosition(), 9.5) << "the transport is stopped";
    deck.model->timing()->togglePlay();
    deck.advance(0.34); // ten ticks
    EXPECT_NEAR(deck.model->tracks()->currentTrackPosition(), 9.5 + 10.0 / 30, 1e-9);
    deck.advance(0.2);
    EXPECT_LT(deck.model->tracks()->currentTrackPosition(), 0.2) << "wrapped after passing the end";
}

TEST(Transport, EveryClickSoundsAtTheMetronomeLevelOfItsMomentEvenOnceBooked) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->timing()->setDeckBBlend(0.0);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder clicks(*deck.model->beatPlayerNode());
    deck.model->timing()->togglePlay();
    deck.advance(0.3);
    EXPECT_TRUE(onsets(clicks.samples, *deck.model->tickBuffer()).empty()) << "silent clicks at level 0";
    EXPECT_GT(deck.model->timing()->playhead(), 0.03);
    deck.model->timing()->setDeckBBlend(0.2); // the click at 0.5 s is booked already
    deck.advance(0.4);
    const auto found = onsets(clicks.samples, *deck.model->tickBuffer());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FLOAT_EQ(clicks.samples[static_cast<std::size_t>(found[0]) + 40],
                    deck.model->tickBuffer()->channel(0)[40] * 0.2f);
}

TEST(Transport, WithoutASoundServerTheClocksStillRun) {
    TimedDeck deck(false);
    deck.model->timing()->setBpm(120);
    deck.model->timing()->togglePlay();
    deck.model->timing()->toggleSequencer();
    deck.advance(0.4);
    EXPECT_NEAR(deck.model->timing()->playhead(), 0.2, 0.02);
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 3);
    // A minute of pads played by hand, four hits a second, with nothing to play them.
    for (int hit = 0; hit < 240; ++hit) {
        deck.model->triggerPad(hit % 8, false);
        deck.advance(0.25, 11025);
    }
    for (const auto& player : deck.model->padPlayers()) {
        EXPECT_EQ(player->pendingItemCount(), 0u) << "nothing piles up where nothing plays";
    }
}

TEST(Sequencer, OnlyTheFirstKickCellPlaysEveryTwoSecondsFromOneStepAfterTheStart) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->prepareAudioEngineIfNeeded();
    deck.model->timing()->toggleSequencerCell(0, 0);
    deck.advance(0.05);
    const std::int64_t started = deck.frames;
    deck.model->timing()->toggleSequencer();
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 0);
    deck.advance(0.1);
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 0) << "the first step comes one step after the start";
    deck.advance(0.04);
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 1);
    deck.advance(4.2);
    // What the deck outputs: the kick through the pads bus, the rack and the master.
    const auto found = onsets(deck.output, *QuelmoSampleBuffers::kick());
    ASSERT_EQ(found.size(), 3u);
    const std::int64_t anchor = found[0] - framesOf(0.125);
    EXPECT_EQ(anchor - started, horizon);
    EXPECT_EQ(found[1] - anchor, framesOf(2.125));
    EXPECT_EQ(found[2] - anchor, framesOf(4.125));
}

TEST(Sequencer, ACellsInOneColumnPlayTogetherAndOutOfGridCellsAreIgnored) {
    TimedDeck deck;
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder kick(*deck.model->padPlayers()[0]);
    NodeRecorder snare(*deck.model->padPlayers()[1]);
    deck.model->timing()->toggleSequencerCell(1, 2);
    deck.model->timing()->toggleSequencerCell(0, 2);
    const auto grid = deck.model->timing()->sequencerGrid();
    deck.model->timing()->toggleSequencerCell(8, 0);
    deck.model->timing()->toggleSequencerCell(0, 16);
    deck.model->timing()->toggleSequencerCell(-1, 3);
    EXPECT_EQ(deck.model->timing()->sequencerGrid(), grid);
    EXPECT_FALSE(deck.model->timing()->sequencerCell(-1, 3));
    EXPECT_FALSE(deck.model->timing()->sequencerCell(0, 16));
    EXPECT_TRUE(deck.model->timing()->sequencerCell(1, 2));

    deck.model->timing()->toggleSequencer();
    deck.advance(0.6);
    const auto kicks = onsets(kick.samples, *deck.model->padBuffers()[0]);
    const auto snares = onsets(snare.samples, *deck.model->padBuffers()[1]);
    ASSERT_EQ(kicks.size(), 1u);
    ASSERT_EQ(snares.size(), 1u);
    EXPECT_EQ(kicks[0], snares[0]);
}

TEST(Sequencer, ClearingWhileRunningKeepsItRunningSilentlyAndATempoChangeKeepsTheStep) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder kick(*deck.model->padPlayers()[0]);
    for (int col = 0; col < 16; col += 2) {
        deck.model->timing()->toggleSequencerCell(0, col);
    }
    deck.model->timing()->toggleSequencer();
    deck.advance(0.4); // three steps
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 3);
    deck.model->timing()->setBpm(60);
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 3);
    deck.advance(0.24);
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 3) << "the next step one new step (0.25 s) after the change";
    deck.advance(0.04); // the step grid starts at the first sample a booking can still make
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 4);
    const std::size_t heard = onsets(kick.samples, *deck.model->padBuffers()[0]).size();
    EXPECT_EQ(heard, 2u);

    deck.model->timing()->clearSequencer();
    deck.advance(1.0);
    EXPECT_TRUE(deck.model->timing()->sequencerRunning());
    EXPECT_EQ(deck.model->timing()->sequencerStep(), 8);
    EXPECT_EQ(onsets(kick.samples, *deck.model->padBuffers()[0]).size(), heard) << "the booked step went too";
}

TEST(Sequencer, ACellLitJustBeforeItsStepPlaysOnItAndOneUnlitDoesNot) {
    TimedDeck deck;
    deck.model->timing()->setBpm(120);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder kick(*deck.model->padPlayers()[0]);
    NodeRecorder hat(*deck.model->padPlayers()[2]);
    deck.model->timing()->toggleSequencerCell(2, 1);
    deck.model->timing()->toggleSequencerCell(2, 2);
    deck.model->timing()->toggleSequencer();
    deck.advance(0.2); // steps 1 and 2 are booked, due at 0.25 and 0.375 s
    ASSERT_EQ(deck.model->timing()->sequencerStep(), 1);
    deck.model->timing()->toggleSequencerCell(0, 2); // two steps out
    deck.model->timing()->toggleSequencerCell(2, 1);
    deck.model->timing()->toggleSequencerCell(2, 2);
    deck.advance(0.3);
    const auto kicks = onsets(kick.samples, *deck.model->padBuffers()[0]);
    ASSERT_EQ(kicks.size(), 1u);
    EXPECT_NEAR(static_cast<double>(kicks[0]), static_cast<double>(framesOf(0.375)), 1000.0) << "on step 2";
    EXPECT_TRUE(onsets(hat.samples, *deck.model->padBuffers()[2]).empty());
}

TEST(Sequencer, AMainThreadHeldUpForTwoStepsLosesNoKick) {
    // At 190 BPM a step is 79 ms: a window busy for 0.2 s, or a sound server going away, must not
    // cost a hit. Every kick of four on the floor stays on its grid sample.
    TimedDeck deck;
    deck.model->timing()->setBpm(190);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder kick(*deck.model->padPlayers()[0]);
    for (int col = 0; col < 16; col += 4) {
        deck.model->timing()->toggleSequencerCell(0, col);
    }
    deck.model->timing()->toggleSequencer();
    for (int round = 0; round < 8; ++round) {
        deck.advance(0.33);
        deck.holdUpMainThread(0.2);
    }
    deck.advance(0.5);
    const double step = 60.0 / 190 / 4 * rate;
    const auto kicks = onsets(kick.samples, *deck.model->padBuffers()[0]);
    // Kick m is due (4m + 1) steps after the start: every one due before the end is heard.
    const auto due = static_cast<std::size_t>((static_cast<double>(deck.frames) - step) / (4 * step)) + 1;
    ASSERT_EQ(kicks.size(), due);
    for (std::size_t k = 0; k < kicks.size(); ++k) {
        ASSERT_EQ(kicks[k] - kicks[0], std::llround(static_cast<double>(4 * k + 1) * step) - std::llround(step)) << k;
    }
}

TEST(Sequencer, UnlightingACellCancelsItsOwnStepsHitNotAnEarlierOneWaitingBehindTheSound) {
    // At 60 BPM a step is 0.25 s and the riser lasts longer: the second step's hit waits for the
    // first to end, and the third step is booked while it waits.
    TimedDeck deck;
    deck.model->timing()->setBpm(60);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder riser(*deck.model->padPlayers()[5]);
    const std::int64_t length = deck.model->padBuffers()[5]->frameLength();
    ASSERT_GT(length, framesOf(0.25));
    for (int col = 0; col < 3; ++col) {
        deck.model->timing()->toggleSequencerCell(5, col);
    }
    deck.model->timing()->toggleSequencer();
    deck.advance(0.62); // the first hit sounds, the second waits, the third is booked for 0.75 s
    ASSERT_EQ(deck.model->timing()->sequencerStep(), 2);
    deck.model->timing()->toggleSequencerCell(5, 2);
    deck.advance(1.5);
    std::int64_t first = -1;
    std::int64_t last = -1;
    for (std::size_t i = 0; i < riser.samples.size(); ++i) {
        if (riser.samples[i] != 0.0f) {
            last = static_cast<std::int64_t>(i);
            first = first < 0 ? last : first;
        }
    }
    ASSERT_GE(first, 0);
    EXPECT_NEAR(static_cast<double>(last - first), 2.0 * length, 600.0) << "two hits back to back, then nothing";
}

TEST(Sequencer, APadSteppedFasterThanItLastsKeepsAShortQueueForAMinute) {
    TimedDeck deck;
    deck.model->timing()->setBpm(190);
    deck.model->prepareAudioEngineIfNeeded();
    for (int col = 0; col < TimingController::sequencerSteps; ++col) {
        deck.model->timing()->toggleSequencerCell(5, col); // the riser on every sixteenth
    }
    deck.model->timing()->toggleSequencer();
    std::size_t mostPending = 0;
    for (int second = 0; second < 60; ++second) {
        deck.advance(1.0);
        mostPending = std::max(mostPending, deck.model->padPlayers()[5]->pendingItemCount());
    }
    // At most the sounding riser, the hits booked while it sounds (0.45 s of 0.079 s steps) and
    // those booked a quarter of a second ahead.
    EXPECT_LE(mostPending, 12u);
    // Still playing, back to back: a hit starts within a step of its own booking.
    const auto& out = deck.output;
    EXPECT_GT(*std::max_element(out.end() - framesOf(0.5), out.end()), 0.05f);
}

TEST(Sequencer, AHandPlayedHitSoundsAtOnceAheadOfABookedOne) {
    TimedDeck deck;
    deck.model->timing()->setBpm(60);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder snare(*deck.model->padPlayers()[1]);
    deck.model->timing()->toggleSequencerCell(1, 0);
    deck.model->timing()->toggleSequencer(); // the snare is booked for 0.25 s
    deck.advance(0.01);
    const std::int64_t pressed = deck.frames;
    deck.model->triggerPad(1, false);
    deck.advance(0.5);
    const auto found = onsets(snare.samples, *deck.model->padBuffers()[1]);
    ASSERT_GE(found.size(), 1u);
    EXPECT_EQ(found[0] - pressed, 0) << "from the first frame of the next device request";
}

TEST(DeckTiming, ResetAllStopsEveryClockAndNothingBookedSoundsAfterIt) {
    TimedDeck deck;
    auto& m = *deck.model;
    m.timing()->setBpm(120);
    m.prepareAudioEngineIfNeeded();
    for (int col = 0; col < TimingController::sequencerSteps; col += 2) {
        m.timing()->toggleSequencerCell(0, col);
    }
    m.timing()->setHotCues({0.25, 0.75});
    m.mix()->setDelayMix(0.6);
    m.timing()->togglePlay();
    m.timing()->toggleSequencer();
    deck.advance(1.03); // between hits: the next click and kick are booked
    ASSERT_GT(m.timing()->playhead(), 0.4);
    m.resetAll();
    EXPECT_FALSE(m.timing()->isPlaying());
    EXPECT_FALSE(m.timing()->sequencerRunning());
    EXPECT_DOUBLE_EQ(m.timing()->playhead(), 0.0);
    EXPECT_TRUE(m.timing()->hotCues().isEmpty());
    EXPECT_DOUBLE_EQ(m.mix()->delayMix(), 0.0);
    const auto resetAt = static_cast<std::size_t>(deck.frames);
    deck.advance(2.0);
    // What was sounding rings out within a kick's length; nothing booked ever sounds.
    const auto ringOut = resetAt + m.padBuffers()[0]->frameLength() + 441;
    for (std::size_t i = ringOut; i < deck.output.size(); ++i) {
        ASSERT_EQ(deck.output[i], 0.0f) << (static_cast<double>(i - resetAt) / rate) << " s after the reset";
    }
    EXPECT_DOUBLE_EQ(m.timing()->playhead(), 0.0) << "the bar stays at its start";
}

TEST(DeckTiming, MetronomeAndFourOnTheFloorLandOnTheirGridSamples) {
    TimedDeck deck;
    deck.model->timing()->setBpm(190);
    deck.model->prepareAudioEngineIfNeeded();
    NodeRecorder clicks(*deck.model->beatPlayerNode());
    NodeRecorder kick(*deck.model->padPlayers()[0]);
    for (int col = 0; col < 16; col += 4) {
        deck.model->timing()->toggleSequencerCell(0, col);
    }
    deck.model->timing()->togglePlay();
    deck.advance(0.3);
    deck.model->timing()->toggleSequencer();
    // Device requests of an odd size, so grid samples fall anywhere inside them.
    deck.advance(12.0, 367);

    const double beat = 60.0 / 190 * rate;
    const auto clickOnsets = onsets(clicks.samples, *deck.model->tickBuffer());
    ASSERT_GE(clickOnsets.size(), 37u);
    for (std::size_t k = 0; k < clickOnsets.size(); ++k) {
        ASSERT_EQ(clickOnsets[k] - clickOnsets[0], std::llround(static_cast<double>(k) * beat)) << k;
    }
    const auto kickOnsets = onsets(kick.samples, *deck.model->padBuffers()[0]);
    ASSERT_GE(kickOnsets.size(), 36u);
    const double step = beat / 4;
    for (std::size_t m = 0; m < kickOnsets.size(); ++m) {
        const auto event = static_cast<double>(4 * m + 1);
        ASSERT_EQ(kickOnsets[m] - kickOnsets[0], std::llround(event * step) - std::llround(step)) << m;
    }
}
