#include "deck/QuelmoViewModel.h"

#include "deck/MixTags.h"

#include "deck/MixMath.h"
#include "samples/QuelmoSampleBuffers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo {

void QuelmoViewModel::setStereoPads(double value) {
    assign(stereoPads_, value, &QuelmoViewModel::stereoPadsChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setStereoImport(double value) {
    assign(stereoImport_, value, &QuelmoViewModel::stereoImportChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setMasterVolume(double value) {
    assign(masterVolume_, value, &QuelmoViewModel::masterVolumeChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setPadsBusLevel(double value) {
    assign(padsBusLevel_, value, &QuelmoViewModel::padsBusLevelChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setPostFXGain(double value) {
    assign(postFXGain_, value, &QuelmoViewModel::postFXGainChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setReverbMix(double value) {
    assign(reverbMix_, value, &QuelmoViewModel::reverbMixChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setDelayMix(double value) {
    assign(delayMix_, value, &QuelmoViewModel::delayMixChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setDelayTime(double value) {
    assign(delayTime_, value, &QuelmoViewModel::delayTimeChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setDelayFeedback(double value) {
    assign(delayFeedback_, value, &QuelmoViewModel::delayFeedbackChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setFilterCutoff(double value) {
    assign(filterCutoff_, value, &QuelmoViewModel::filterCutoffChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setDistortionMix(double value) {
    assign(distortionMix_, value, &QuelmoViewModel::distortionMixChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setPitchShift(double value) {
    assign(pitchShift_, value, &QuelmoViewModel::pitchShiftChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setMasterToneLiftDB(double value) {
    assign(masterToneLiftDB_, value, &QuelmoViewModel::masterToneLiftDBChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setLowShelfGain(double value) {
    assign(lowShelfGain_, value, &QuelmoViewModel::lowShelfGainChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setMidPresenceDB(double value) {
    assign(midPresenceDB_, value, &QuelmoViewModel::midPresenceDBChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setHighShelfGain(double value) {
    assign(highShelfGain_, value, &QuelmoViewModel::highShelfGainChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::requestThrottledApplyMixLevels() {
    mixThrottleTask_ = std::make_unique<QTimer>();
    mixThrottleTask_->setSingleShot(true);
    mixThrottleTask_->setTimerType(Qt::PreciseTimer);
    connect(mixThrottleTask_.get(), &QTimer::timeout, this, [this] {
        // Deleting the timer inside its own timeout is not allowed; release it on the next turn.
        mixThrottleTask_.release()->deleteLater();
        applyMixLevels();
    });
    mixThrottleTask_->start(48);
}

MixLevels QuelmoViewModel::currentMixLevels() const {
    MixLevels m;
    m.stereoPads = stereoPads_;
    m.stereoImport = stereoImport_;
    m.masterVolume = masterVolume_;
    m.padsBusLevel = padsBusLevel_;
    m.postFXGain = postFXGain_;
    m.importVolume = importVolume_;
    m.importRate = importRate_;
    m.pitchShift = pitchShift_;
    m.reverbMix = reverbMix_;
    m.delayMix = delayMix_;
    m.delayTime = delayTime_;
    m.delayFeedback = delayFeedback_;
    m.filterCutoff = filterCutoff_;
    m.distortionMix = distortionMix_;
    m.masterToneLiftDB = masterToneLiftDB_;
    m.lowShelfGain = lowShelfGain_;
    m.midPresenceDB = midPresenceDB_;
    m.highShelfGain = highShelfGain_;
    m.voiceBusLevel = voiceBusLevel_;
    m.voiceWarmDB = voiceWarmDB_;
    m.voiceHornDB = voiceHornDB_;
    m.voiceDryAirDB = voiceDryAirDB_;
    m.voiceBoldDrive = voiceBoldDrive_;
    m.voiceMorphPitchCents = voiceMorphPitchCents_;
    m.voiceMorphRate = voiceMorphRate_;
    return m;
}

void QuelmoViewModel::applyMixLevels() {
    if (!isGraphBuilt()) {
        return; // the build of the graph applies what the controls hold by then
    }
    const MixNodeSettings s = computeMixNodeSettings(currentMixLevels());
    padsMixer_->setPan(s.padsPan);
    padsMixer_->setVolume(s.padsVolume);
    importMixer_->setPan(s.importPan);
    importMixer_->setVolume(s.importMixerVolume);
    importPlayer_->setVolume(s.importPlayerVolume);
    applyTrackVolumes(s.importPlayerVolume);
    if (s.importRate != appliedTrackRate_) {
        // The readouts of the rows that play go on from where they are at the new speed.
        for (const auto& id : playingTrackIds_) {
            if (trackStartTimes_.contains(id)) {
                trackSeekPositions_.insert(id, trackPlayheadNow(id));
                trackStartTimes_.insert(id, clock_->now());
            }
        }
        appliedTrackRate_ = s.importRate;
    }
    importTimePitch_->setRate(s.importRate);
    importTimePitch_->setPitch(s.importPitchCents);
    mainMixer_->setVolume(s.mainVolume);
    effectsMixer_->setVolume(s.effectsVolume);
    reverb_->setWetDryMix(s.reverbWetDryPercent);
    delay_->setWetDryMix(s.delayWetDryPercent);
    delay_->setDelayTime(static_cast<float>(s.delayTimeSeconds));
    delay_->setFeedback(s.delayFeedbackPercent);
    filter_->band(0).setFrequency(s.filterFrequencyHz);
    distortion_->setWetDryMix(s.distortionWetDryPercent);
    masterToneEQ_->setGlobalGain(s.toneGlobalGainDB);
    masterToneEQ_->band(0).setGain(s.toneLowDB);
    masterToneEQ_->band(1).setGain(s.toneMidDB);
    masterToneEQ_->band(2).setGain(s.toneHighDB);
    voiceBusMixer_->setVolume(s.voiceBusVolume);
    voiceTimePitch_->setPitch(s.voicePitchCents);
    voiceTimePitch_->setRate(s.voiceRate);
    voiceToneEQ_->band(0).setGain(s.voiceWarmDB);
    voiceToneEQ_->band(1).setGain(s.voiceHornDB);
    voiceToneEQ_->band(2).setGain(s.voiceAirDB);
    voiceDistortion_->setWetDryMix(s.voiceDriveWetDryPercent);
    emit mixLevelsApplied();
}

void QuelmoViewModel::applyBoldCommandMixPreset() {
    setPostFXGain(std::min(1.35, std::max(postFXGain_, 1.08)));
    setMasterToneLiftDB(std::max(masterToneLiftDB_, 2.2));
    setLowShelfGain(std::max(lowShelfGain_, 2.5));
    setMidPresenceDB(std::max(midPresenceDB_, 4.5));
    setHighShelfGain(std::max(highShelfGain_, 2.0));
    setDistortionMix(std::min(0.22, std::max(distortionMix_, 0.07)));
    setFilterCutoff(std::max(filterCutoff_, 0.92));
    setReverbMix(std::min(reverbMix_, 0.08));
    setPadsBusLevel(std::min(1.2, std::max(padsBusLevel_, 1.0)));
    applyMixLevels();
}

void QuelmoViewModel::resetEffects() {
    setReverbMix(0.0);
    setDelayMix(0.0);
    setDelayTime(0.3);
    setDelayFeedback(0.4);
    setFilterCutoff(1.0);
    setDistortionMix(0.0);
    setPitchShift(0.0);
    setImportRate(1.0);
    setMasterToneLiftDB(0.0);
    setLowShelfGain(0.0);
    setMidPresenceDB(0.0);
    setHighShelfGain(0.0);
    setPostFXGain(1.0);
    setPadsBusLevel(1.0);
    setVoiceWarmDB(2.5);
    setVoiceHornDB(2.0);
    setVoiceDryAirDB(-1.0);
    setVoiceBoldDrive(0.28);
    setVoiceBusLevel(1.05);
    setVoiceMorphPitchCents(0.0);
    setVoiceMorphRate(1.0);
    setVoiceSayVoiceTag(QStringLiteral("auto"));
    applyMixLevels();
}

void QuelmoViewModel::resetAll() {
    stopImport();
    stopAllTracks();
    stopSequencer();
    stopTransport();
    setPlayhead(0.0);
    setCurrentTrackPosition(0.0);
    setHotCues({});
    resetEffects();
}

void QuelmoViewModel::playSoundCheckTone() {
    prepareAudioEngineIfNeeded();
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
    testTonePlayer_->setVolume(static_cast<float>(std::min(masterVolume_ * 0.5, 1.2)));
    if (!testTonePlayer_->isPlaying()) {
        testTonePlayer_->play();
    }
    testTonePlayer_->scheduleBuffer(testToneBuffer_);
}

void QuelmoViewModel::watchMixTags() {
    for (auto signal : {&QuelmoViewModel::importRateChanged, &QuelmoViewModel::pitchShiftChanged,
                        &QuelmoViewModel::reverbMixChanged, &QuelmoViewModel::delayMixChanged,
                        &QuelmoViewModel::delayFeedbackChanged, &QuelmoViewModel::delayTimeChanged,
                        &QuelmoViewModel::filterCutoffChanged, &QuelmoViewModel::distortionMixChanged,
                        &QuelmoViewModel::masterToneLiftDBChanged, &QuelmoViewModel::lowShelfGainChanged,
                        &QuelmoViewModel::midPresenceDBChanged, &QuelmoViewModel::highShelfGainChanged,
                        &QuelmoViewModel::postFXGainChanged, &QuelmoViewModel::stereoImportChanged,
                        &QuelmoViewModel::stereoPadsChanged, &QuelmoViewModel::playingTrackIdsChanged}) {
        connect(this, signal, this, &QuelmoViewModel::updateMixTags);
    }
    updateMixTags();
}

void QuelmoViewModel::updateMixTags() {
    assign(mixTags_, quelmo::mixTags(currentMixLevels(), static_cast<int>(playingTrackIds_.size())),
           &QuelmoViewModel::mixTagsChanged);
}


} // namespace quelmo
