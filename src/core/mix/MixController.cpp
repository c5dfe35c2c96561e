#include "mix/MixController.h"

#include "engine/AudioBuffer.h"
#include "engine/AudioNodes.h"
#include "mix/MeterBallistics.h"
#include "mix/MixTags.h"
#include "model/MeterPeakCapture.h"
#include "samples/QuelmoSampleBuffers.h"
#include "slap/OutputLevelHistory.h"
#include "util/AssignProperty.h"
#include "util/FrameClock.h"
#include "util/MediaClock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo {
namespace {
constexpr int largeHallPreset = 4;
// Every control's change reaches the nodes this long after the last one.
constexpr int applyThrottleMs = 48;
} // namespace

MixController::MixController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies))
    , meterPeaks_(std::make_shared<MeterPeakCapture>()) {
    setUpRack();
    for (auto signal : {&MixController::importRateChanged, &MixController::pitchShiftChanged,
                        &MixController::reverbMixChanged, &MixController::delayMixChanged,
                        &MixController::delayFeedbackChanged, &MixController::delayTimeChanged,
                        &MixController::filterCutoffChanged, &MixController::distortionMixChanged,
                        &MixController::masterToneLiftDBChanged, &MixController::lowShelfGainChanged,
                        &MixController::midPresenceDBChanged, &MixController::highShelfGainChanged,
                        &MixController::postFXGainChanged, &MixController::stereoImportChanged,
                        &MixController::stereoPadsChanged}) {
        connect(this, signal, this, &MixController::updateMixTags);
    }
    updateMixTags();
}

MixController::~MixController() { removeMeterTaps(); }

// Fixed parameters of the rack units; set once, before the graph exists. The levels move only
// their mixes, times, cut-off and gains.
void MixController::setUpRack() {
    const Nodes& n = dependencies_.nodes;
    using engine::FilterType;
    n.reverb->loadFactoryPreset(largeHallPreset);
    n.reverb->setWetDryMix(0.0f);
    n.delay->setDelayTime(0.3f);
    n.delay->setFeedback(40.0f);
    n.delay->setWetDryMix(0.0f);
    n.filter->band(0).configure(FilterType::lowPass, 20000.0f, n.filter->band(0).bandwidth(), 1.0f);
    n.distortion->setWetDryMix(0.0f);
    n.distortion->setPreGain(-6.0f);
    n.masterToneEQ->setGlobalGain(0.0f);
    n.masterToneEQ->band(0).configure(FilterType::lowShelf, 120.0f, 0.7f, 0.0f);
    n.masterToneEQ->band(1).configure(FilterType::parametric, 2600.0f, 1.35f, 0.0f);
    n.masterToneEQ->band(2).configure(FilterType::highShelf, 9000.0f, 0.7f, 0.0f);
}

void MixController::addParticipant(Participant participant) { participants_.push_back(std::move(participant)); }

void MixController::setLevel(double MixLevels::*field, double value, void (MixController::*signal)()) {
    assignProperty(this, levels_.*field, value, signal);
    requestThrottledApplyMixLevels();
}

void MixController::setStereoPads(double v) { setLevel(&MixLevels::stereoPads, v, &MixController::stereoPadsChanged); }
void MixController::setStereoImport(double v) { setLevel(&MixLevels::stereoImport, v, &MixController::stereoImportChanged); }
void MixController::setMasterVolume(double v) { setLevel(&MixLevels::masterVolume, v, &MixController::masterVolumeChanged); }
void MixController::setPadsBusLevel(double v) { setLevel(&MixLevels::padsBusLevel, v, &MixController::padsBusLevelChanged); }
void MixController::setPostFXGain(double v) { setLevel(&MixLevels::postFXGain, v, &MixController::postFXGainChanged); }
void MixController::setReverbMix(double v) { setLevel(&MixLevels::reverbMix, v, &MixController::reverbMixChanged); }
void MixController::setDelayMix(double v) { setLevel(&MixLevels::delayMix, v, &MixController::delayMixChanged); }
void MixController::setDelayTime(double v) { setLevel(&MixLevels::delayTime, v, &MixController::delayTimeChanged); }
void MixController::setDelayFeedback(double v) { setLevel(&MixLevels::delayFeedback, v, &MixController::delayFeedbackChanged); }
void MixController::setFilterCutoff(double v) { setLevel(&MixLevels::filterCutoff, v, &MixController::filterCutoffChanged); }
void MixController::setDistortionMix(double v) { setLevel(&MixLevels::distortionMix, v, &MixController::distortionMixChanged); }
void MixController::setPitchShift(double v) { setLevel(&MixLevels::pitchShift, v, &MixController::pitchShiftChanged); }
void MixController::setMasterToneLiftDB(double v) {
    setLevel(&MixLevels::masterToneLiftDB, v, &MixController::masterToneLiftDBChanged);
}
void MixController::setLowShelfGain(double v) { setLevel(&MixLevels::lowShelfGain, v, &MixController::lowShelfGainChanged); }
void MixController::setMidPresenceDB(double v) { setLevel(&MixLevels::midPresenceDB, v, &MixController::midPresenceDBChanged); }
void MixController::setHighShelfGain(double v) { setLevel(&MixLevels::highShelfGain, v, &MixController::highShelfGainChanged); }
void MixController::setImportVolume(double v) { setLevel(&MixLevels::importVolume, v, &MixController::importVolumeChanged); }
void MixController::setImportRate(double v) { setLevel(&MixLevels::importRate, v, &MixController::importRateChanged); }

void MixController::setMeterPads(double v) { assignProperty(this, meterPads_, v, &MixController::meterPadsChanged); }
void MixController::setMeterImport(double v) { assignProperty(this, meterImport_, v, &MixController::meterImportChanged); }
void MixController::setMeterMaster(double v) { assignProperty(this, meterMaster_, v, &MixController::meterMasterChanged); }
void MixController::setMeterVoice(double v) { assignProperty(this, meterVoice_, v, &MixController::meterVoiceChanged); }

void MixController::requestThrottledApplyMixLevels() {
    throttle_ = std::make_unique<QTimer>();
    throttle_->setSingleShot(true);
    throttle_->setTimerType(Qt::PreciseTimer);
    connect(throttle_.get(), &QTimer::timeout, this, [this] {
        // Deleting the timer inside its own timeout is not allowed; release it on the next turn.
        throttle_.release()->deleteLater();
        applyMixLevels();
    });
    throttle_->start(applyThrottleMs);
}

MixLevels MixController::currentMixLevels() const {
    MixLevels levels = levels_;
    for (const auto& participant : participants_) {
        if (participant.fillLevels) {
            participant.fillLevels(levels);
        }
    }
    return levels;
}

void MixController::applyMixLevels() {
    if (!dependencies_.graphBuilt()) {
        return; // the build of the graph applies what the controls hold by then
    }
    const MixNodeSettings s = computeMixNodeSettings(currentMixLevels());
    const Nodes& n = dependencies_.nodes;
    n.padsMixer->setPan(s.padsPan);
    n.padsMixer->setVolume(s.padsVolume);
    n.importMixer->setPan(s.importPan);
    n.importMixer->setVolume(s.importMixerVolume);
    n.mainMixer->setVolume(s.mainVolume);
    n.effectsMixer->setVolume(s.effectsVolume);
    n.reverb->setWetDryMix(s.reverbWetDryPercent);
    n.delay->setWetDryMix(s.delayWetDryPercent);
    n.delay->setDelayTime(static_cast<float>(s.delayTimeSeconds));
    n.delay->setFeedback(s.delayFeedbackPercent);
    n.filter->band(0).setFrequency(s.filterFrequencyHz);
    n.distortion->setWetDryMix(s.distortionWetDryPercent);
    n.masterToneEQ->setGlobalGain(s.toneGlobalGainDB);
    n.masterToneEQ->band(0).setGain(s.toneLowDB);
    n.masterToneEQ->band(1).setGain(s.toneMidDB);
    n.masterToneEQ->band(2).setGain(s.toneHighDB);
    for (const auto& participant : participants_) {
        if (participant.applySettings) {
            participant.applySettings(s);
        }
    }
    emit mixLevelsApplied();
}

void MixController::applyBoldCommandMixPreset() {
    setPostFXGain(std::min(1.35, std::max(levels_.postFXGain, 1.08)));
    setMasterToneLiftDB(std::max(levels_.masterToneLiftDB, 2.2));
    setLowShelfGain(std::max(levels_.lowShelfGain, 2.5));
    setMidPresenceDB(std::max(levels_.midPresenceDB, 4.5));
    setHighShelfGain(std::max(levels_.highShelfGain, 2.0));
    setDistortionMix(std::min(0.22, std::max(levels_.distortionMix, 0.07)));
    setFilterCutoff(std::max(levels_.filterCutoff, 0.92));
    setReverbMix(std::min(levels_.reverbMix, 0.08));
    setPadsBusLevel(std::min(1.2, std::max(levels_.padsBusLevel, 1.0)));
    applyMixLevels();
}

void MixController::resetEffects() {
    const MixLevels rest;
    setReverbMix(rest.reverbMix);
    setDelayMix(rest.delayMix);
    setDelayTime(rest.delayTime);
    setDelayFeedback(rest.delayFeedback);
    setFilterCutoff(rest.filterCutoff);
    setDistortionMix(rest.distortionMix);
    setPitchShift(rest.pitchShift);
    setImportRate(rest.importRate);
    setMasterToneLiftDB(rest.masterToneLiftDB);
    setLowShelfGain(rest.lowShelfGain);
    setMidPresenceDB(rest.midPresenceDB);
    setHighShelfGain(rest.highShelfGain);
    setPostFXGain(rest.postFXGain);
    setPadsBusLevel(rest.padsBusLevel);
    for (const auto& participant : participants_) {
        if (participant.resetLevels) {
            participant.resetLevels();
        }
    }
    applyMixLevels();
}

void MixController::playSoundCheckTone() {
    dependencies_.prepareAudio();
    if (!testToneBuffer_) {
        const auto frames = static_cast<std::uint32_t>(QuelmoSampleBuffers::sampleRate * 0.35);
        testToneBuffer_ = QuelmoSampleBuffers::makeBuffer(frames, [](std::int64_t, double t) {
            return static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * t)) * 0.35f *
                   static_cast<float>(std::exp(-4.0 * t));
        });
        if (!testToneBuffer_) {
            return;
        }
    }
    const auto& player = dependencies_.nodes.testTonePlayer;
    player->setVolume(static_cast<float>(std::min(levels_.masterVolume * 0.5, 1.2)));
    if (!player->isPlaying()) {
        player->play();
    }
    player->scheduleBuffer(testToneBuffer_);
}

void MixController::setPlayingTrackCount(int count) {
    if (playingTrackCount_ != count) {
        playingTrackCount_ = count;
        updateMixTags();
    }
}

void MixController::updateMixTags() {
    assignProperty(this, mixTags_, quelmo::mixTags(currentMixLevels(), playingTrackCount_), &MixController::mixTagsChanged);
}

// ---- Meters ------------------------------------------------------------------------------------

void MixController::graphBuilt() {
    installMeterTaps();
    metersRunning_ = true;
    followMeterTick();
}

// The meters move on the deck's frame clock, in the same frames as the waves.
void MixController::followMeterTick() {
    if (metersRunning_ && !meterTick_) {
        meterTick_ = FrameClock::shared().follow(this, 1, [this] { updateMeters(); });
    }
}

void MixController::engineWoke() {
    followMeterTick();
}

// Taps on the four bus mixers record each block's peak. Each tap holds what it writes into: it
// goes with the tap, which the engine releases on the main thread, never on the render thread.
void MixController::installMeterTaps() {
    if (meterTapsInstalled_) {
        return;
    }
    meterTapsInstalled_ = true;
    const Nodes& n = dependencies_.nodes;
    auto tapInto = [peaks = meterPeaks_](void (MeterPeakCapture::*note)(float)) {
        return [peaks, note](const float* const* channels, std::uint32_t frames, std::int64_t) {
            ((*peaks).*note)(MeterBallistics::peakMagnitude(channels, 2, frames));
        };
    };
    n.padsMixer->installTap(tapInto(&MeterPeakCapture::notePads));
    n.importMixer->installTap(tapInto(&MeterPeakCapture::noteImport));
    // The main output's tap also keeps the recent levels for the lid-tap detector: the peak of each
    // short chunk, at the time it reaches the speakers. On an output with a large buffer the deck's
    // kick comes back through the microphone that much later, and the server asks for long blocks,
    // whose average would lie far under the kick's attack.
    n.mainMixer->installTap([peaks = meterPeaks_, levels = dependencies_.deckOutput,
                             latency = dependencies_.outputLatency](const float* const* channels, std::uint32_t frames,
                                                                    std::int64_t) {
        constexpr std::uint32_t chunk = slap::OutputLevelHistory::chunkFrames;
        const double heard = steadySeconds() + (latency ? latency() : 0.0);
        float blockPeak = 0.0f; // the meter's peak is the loudest chunk's: the block is read once
        for (std::uint32_t at = 0; at < frames; at += chunk) {
            const float* const part[2] = {channels[0] ? channels[0] + at : nullptr,
                                          channels[1] ? channels[1] + at : nullptr};
            const float peak = MeterBallistics::peakMagnitude(part, 2, std::min(frames - at, chunk));
            levels->record(heard + at / QuelmoSampleBuffers::sampleRate, peak);
            blockPeak = std::max(blockPeak, peak);
        }
        peaks->noteMain(blockPeak);
    });
    n.voiceBusMixer->installTap(tapInto(&MeterPeakCapture::noteVoice));
}

void MixController::updateMeters() {
    const auto peaks = meterPeaks_->drain();
    setMeterPads(MeterBallistics::step(meterPads_, peaks.pads));
    setMeterImport(MeterBallistics::step(meterImport_, peaks.imp));
    setMeterMaster(MeterBallistics::step(meterMaster_, peaks.main));
    setMeterVoice(MeterBallistics::step(meterVoice_, peaks.voice));
    const bool allDown = meterPads_ == 0.0 && meterImport_ == 0.0 && meterMaster_ == 0.0 && meterVoice_ == 0.0;
    if (allDown && dependencies_.engineSuspended() && meterTick_) {
        disconnect(meterTick_); // followed again when the engine wakes
    }
}

void MixController::removeMeterTaps() {
    if (!meterTapsInstalled_) {
        return;
    }
    const Nodes& n = dependencies_.nodes;
    n.padsMixer->removeTap();
    n.importMixer->removeTap();
    n.mainMixer->removeTap();
    n.voiceBusMixer->removeTap();
    meterTapsInstalled_ = false;
}

void MixController::shutdown() {
    throttle_.reset();
    metersRunning_ = false;
    disconnect(meterTick_);
    removeMeterTaps();
}

} // namespace quelmo
