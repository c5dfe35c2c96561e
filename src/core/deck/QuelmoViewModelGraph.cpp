#include "deck/QuelmoViewModel.h"

#include "samples/QuelmoSampleBuffers.h"
#include "util/Log.h"

#include <cmath>

namespace quelmo {
namespace {
constexpr int largeHallPreset = 4;
constexpr int brokenSpeakerPreset = engine::DistortionUnit::multiBrokenSpeaker;
// How often the main thread collects what the render thread reported (finished player items).
constexpr int engineEventIntervalMs = 10;

void setBand(engine::EQUnit& eq, std::size_t index, engine::FilterType type, float hz, float octaves, float dB) {
    auto& band = eq.band(index);
    band.setFilterType(type);
    band.setFrequency(hz);
    band.setBandwidth(octaves);
    band.setGain(dB);
    band.setBypass(false);
}
} // namespace

// Fixed parameters of the rack units; set once, before the graph exists.
void QuelmoViewModel::setupEffects() {
    using engine::FilterType;
    reverb_->loadFactoryPreset(largeHallPreset);
    reverb_->setWetDryMix(0.0f);

    delay_->setDelayTime(0.3f);
    delay_->setFeedback(40.0f);
    delay_->setWetDryMix(0.0f);

    setBand(*filter_, 0, FilterType::lowPass, 20000.0f, filter_->band(0).bandwidth(), 1.0f);

    distortion_->setWetDryMix(0.0f);
    distortion_->setPreGain(-6.0f);

    masterToneEQ_->setGlobalGain(0.0f);
    setBand(*masterToneEQ_, 0, FilterType::lowShelf, 120.0f, 0.7f, 0.0f);
    setBand(*masterToneEQ_, 1, FilterType::parametric, 2600.0f, 1.35f, 0.0f);
    setBand(*masterToneEQ_, 2, FilterType::highShelf, 9000.0f, 0.7f, 0.0f);

    setupVoiceBusEffects();
}

void QuelmoViewModel::setupVoiceBusEffects() {
    using engine::FilterType;
    voiceToneEQ_->setGlobalGain(0.0f);
    setBand(*voiceToneEQ_, 0, FilterType::lowShelf, 220.0f, 0.88f, 0.0f);
    setBand(*voiceToneEQ_, 1, FilterType::parametric, 1350.0f, 1.15f, 0.0f);
    setBand(*voiceToneEQ_, 2, FilterType::highShelf, 7200.0f, 0.82f, 0.0f);

    voiceDistortion_->loadFactoryPreset(brokenSpeakerPreset);
    voiceDistortion_->setPreGain(-14.0f);
    voiceDistortion_->setWetDryMix(0.0f);

    voiceTimePitch_->setPitch(0.0f);
    voiceTimePitch_->setRate(1.0f);
}

// Builds the graph once and starts the engine.
void QuelmoViewModel::setupAudio() {
    for (auto& warmUp : timePitchWarmUps_) {
        if (warmUp.valid()) {
            warmUp.get();
        }
    }
    namespace QSB = QuelmoSampleBuffers;
    padBuffers_.clear();
    for (const auto& recipe : {QSB::kick, QSB::snare, QSB::hiHat, QSB::clap, QSB::bassNote, QSB::riser, QSB::chop,
                               QSB::airhorn}) {
        if (auto buffer = recipe()) {
            padBuffers_.push_back(std::move(buffer));
        }
    }
    tickBuffer_ = QSB::beatTick();

    mainMixer_->setVolume(1.0f);

    auto& graph = *engine_;
    auto preEffects = std::make_shared<engine::MixerNode>();
    for (const std::shared_ptr<engine::AudioNode>& node : std::initializer_list<std::shared_ptr<engine::AudioNode>>{
             preEffects, padsMixer_, importInputMixer_, importMixer_, effectsMixer_, importPlayer_, importTimePitch_, beatPlayer_, reverb_,
             delay_, filter_, distortion_, masterToneEQ_, testTonePlayer_, voiceDropPlayer_, voiceTimePitch_,
             voiceToneEQ_, voiceDistortion_, voiceBusMixer_}) {
        graph.attach(node);
    }

    importTimePitch_->setRate(1.0f);
    importTimePitch_->setPitch(0.0f);

    for (int i = 0; i < padCount; ++i) {
        auto player = std::make_shared<engine::PlayerNode>();
        graph.attach(player);
        graph.connect(player, padsMixer_);
        padPlayers_.push_back(std::move(player));
    }

    graph.connect(padsMixer_, preEffects);
    graph.connect(beatPlayer_, mainMixer_);

    graph.connect(preEffects, filter_);
    graph.connect(filter_, delay_);
    graph.connect(delay_, reverb_);
    graph.connect(reverb_, distortion_);
    graph.connect(distortion_, masterToneEQ_);
    graph.connect(masterToneEQ_, effectsMixer_);
    graph.connect(effectsMixer_, mainMixer_);

    // Track rows join the import player at the head of the import chain (see trackPlayerFor), so
    // the import level, SPEED and PITCH, the import bus's balance and meter shape them too.
    graph.connect(importPlayer_, importInputMixer_);
    graph.connect(importInputMixer_, importTimePitch_);
    graph.connect(importTimePitch_, importMixer_);
    graph.connect(importMixer_, preEffects);
    graph.connect(testTonePlayer_, mainMixer_);

    graph.connect(voiceDropPlayer_, voiceTimePitch_);
    graph.connect(voiceTimePitch_, voiceToneEQ_);
    graph.connect(voiceToneEQ_, voiceDistortion_);
    graph.connect(voiceDistortion_, voiceBusMixer_);
    graph.connect(voiceBusMixer_, mainMixer_);

    preEffectsMixer_ = std::move(preEffects);

    // Finished and dropped player items come back to the main thread through this timer.
    engineEventTimer_ = std::make_unique<QTimer>();
    engineEventTimer_->setInterval(engineEventIntervalMs);
    connect(engineEventTimer_.get(), &QTimer::timeout, this, [this] {
        engine_->dispatchEvents();
        // A gap in the output is worth a line: the sounds after it are late by its length.
        if (const std::uint64_t gaps = engine_->driver().underflows(); gaps != reportedUnderflows_) {
            reportedUnderflows_ = gaps;
            const auto ms = static_cast<int>(std::lround(engine_->driver().latencySeconds() * 1000.0));
            logLine("Quelmo: audio output ran dry (" + std::to_string(gaps) + " times so far); output latency " +
                    std::to_string(ms) + " ms");
        }
        if (engine_->isSuspended()) {
            engineEventTimer_->stop(); // nothing can come back until something is scheduled
        }
    });
    engineEventTimer_->start();
    // A silent deck lets its output sleep; the first new sound wakes it, and the timers with it.
    graph.setWakeHandler([this] {
        if (engineEventTimer_) {
            engineEventTimer_->start();
        }
        if (meterDecayTimer_ && !meterDecayTimer_->isActive()) {
            meterDecayTimer_->start();
        }
    });

    watchSoundServer();
    if (const auto error = graph.start()) {
        logLine("Quelmo: engine start failed: " + *error);
    }
    // A device still looking for its sound server runs all the same: the banner says so, and the
    // deck plays as soon as the server answers.
    if (!graph.isRunning()) {
        return;
    }
    if (graph.isReconnecting()) {
        soundServerConnectionChanged();
    }
    installMeterTapsIfNeeded();
    startMeterDecayTimerIfNeeded();
}

} // namespace quelmo
