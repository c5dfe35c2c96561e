#include "deck/QuelmoViewModel.h"

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/PulseOutputDriver.h"
#include "mix/MixController.h"
#include "samples/QuelmoSampleBuffers.h"
#include "shared/Log.h"

#include <QTimer>

#include <cmath>
#include <cstdio>

namespace quelmo {
namespace {
// How often the main thread collects what the render thread reported (finished player items).
constexpr int engineEventIntervalMs = 10;

} // namespace

// Builds the graph once and starts the engine.
void QuelmoViewModel::setupAudio() {
    namespace QSB = QuelmoSampleBuffers;
    pads_.buffers.clear();
    for (const auto& recipe : {QSB::kick, QSB::snare, QSB::hiHat, QSB::clap, QSB::bassNote, QSB::riser, QSB::chop,
                               QSB::airhorn}) {
        if (auto buffer = recipe()) {
            pads_.buffers.push_back(std::move(buffer));
        }
    }
    pads_.tick = QSB::beatTick();

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
        pads_.players.push_back(std::move(player));
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
        // A gap in the output is worth a line: the sounds after it are late by its length. How long
        // the server had not asked for audio, and the longest render since the last check, tell a
        // request that came late from a block that took too long.
        const double longestRender = engine_->takeLongestBlockSeconds();
        if (const std::uint64_t gaps = engine_->driver().underflows(); gaps != reportedUnderflows_) {
            reportedUnderflows_ = gaps;
            const auto ms = static_cast<int>(std::lround(engine_->driver().latencySeconds() * 1000.0));
            char timing[96];
            std::snprintf(timing, sizeof timing, "; %.1f ms without a request before it, longest render %.2f ms",
                          engine_->driver().requestGapAtLastUnderflow() * 1000.0, longestRender * 1000.0);
            logLine("Quelmo: audio output ran dry (" + std::to_string(gaps) + " times so far); output latency " +
                    std::to_string(ms) + " ms" + timing);
        }
        // And each step it gives back after playing without gaps for a while.
        const double latency = engine_->driver().latencySeconds();
        if (latency < reportedLatency_ - 1e-6) {
            logLine("Quelmo: audio output latency back down to " + std::to_string(std::lround(latency * 1000.0)) + " ms");
        }
        reportedLatency_ = latency;
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
        mix_->engineWoke();
    });

    watchSoundServer();
    if (const auto error = graph.start()) {
        logLine("Quelmo: engine start failed: " + *error);
    }
    // A latency set for this machine is worth a line: every sound is that much later. Empty is unset.
    if (const QByteArray asked = qgetenv("QUELMO_OUTPUT_LATENCY_MS"); !asked.isEmpty()) {
        if (engine::PulseOutputDriver::latencyFromText(asked.constData())) {
            logLine("Quelmo: the output starts at " + asked.toStdString() + " ms, as QUELMO_OUTPUT_LATENCY_MS asks");
        } else {
            logLine("Quelmo: QUELMO_OUTPUT_LATENCY_MS=" + asked.toStdString() +
                    " is not a whole number of milliseconds from 5 to 1000; the output starts at " +
                    std::to_string(std::lround(engine::PulseOutputDriver::defaultLatency * 1000.0)) + " ms");
        }
    }
    // A device still looking for its sound server runs all the same: the banner says so, and the
    // deck plays as soon as the server answers.
    if (!graph.isRunning()) {
        return;
    }
    if (graph.isReconnecting()) {
        soundServerConnectionChanged();
    }
    mix_->graphBuilt();
}

} // namespace quelmo
