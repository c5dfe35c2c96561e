#include "capture/CaptureController.h"

#include "capture/CaptureSink.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "util/AssignProperty.h"
#include "shared/Log.h"
#include "util/MediaClock.h"

#include <QTimer>
#include <cstdio>
#include <string>

#include <utility>

namespace quelmo {
namespace {
const QString capturingStatus = QStringLiteral("✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'");
const QString routedStatus = QStringLiteral("✅ Capturing system audio! Every app now plays into 'Quelmo Capture'");
const QString manualStatus =
    QStringLiteral("Create it manually: pactl load-module module-null-sink sink_name=quelmo_capture");
// A sink the server has just made (or woken) may take a moment, up to two seconds on
// PulseAudio's null sink, to hand over its first audio.
constexpr double firstSoundTimeoutSeconds = 10.0;
} // namespace

CaptureController::CaptureController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies))
    , sink_(std::make_unique<capture::CaptureSink>()) {
    sink_->restoreDefaultLeftByEarlierRun();
}

CaptureController::~CaptureController() {
    if (inputNode_) {
        inputNode_->stopCapture();
    }
}

void CaptureController::setIsCapturingSystemAudio(bool value) {
    assignProperty(this, capturing_, value, &CaptureController::isCapturingSystemAudioChanged);
}

void CaptureController::setSystemAudioVolume(double value) {
    assignProperty(this, volume_, value, &CaptureController::systemAudioVolumeChanged);
    if (inputNode_) {
        inputNode_->setVolume(static_cast<float>(volume_));
    }
}

void CaptureController::setShowBlackHoleInstallAlert(bool value) {
    assignProperty(this, showInstallAlert_, value, &CaptureController::showBlackHoleInstallAlertChanged);
}

void CaptureController::setBlackHoleInstallStatus(const QString& value) {
    assignProperty(this, installStatus_, value, &CaptureController::blackHoleInstallStatusChanged);
}

void CaptureController::scanForInputDevices() { checkForBlackHole(); }

void CaptureController::checkForBlackHole() {
    sink_->probe([this](capture::CaptureSink::Result result) {
        if (!result.error.isEmpty()) {
            logLine("Quelmo: Failed to check for Quelmo Capture: " + result.error.toStdString());
        } else if (result.found) {
            logLine("Quelmo: Quelmo Capture audio device found");
        } else {
            logLine("Quelmo: Quelmo Capture not found - create it from the SYSTEM AUDIO panel");
            setShowBlackHoleInstallAlert(true);
        }
    });
}

void CaptureController::toggleSystemAudioCapture() {
    if (capturing_) {
        stopSystemAudioCapture();
        return;
    }
    checkAndStartCapture();
}

void CaptureController::checkAndStartCapture() {
    setBlackHoleInstallStatus(QStringLiteral("Checking Quelmo Capture..."));
    sink_->probe([this](capture::CaptureSink::Result result) {
        if (!result.error.isEmpty()) {
            setBlackHoleInstallStatus(QStringLiteral("❌ Sound server: ") + result.error);
            return;
        }
        if (!result.found) {
            logLine("Quelmo: Quelmo Capture not found");
            setBlackHoleInstallStatus(QStringLiteral("⚠️ Quelmo Capture not set up. Click SET UP below"));
            setShowBlackHoleInstallAlert(true);
            return;
        }
        logLine("Quelmo: Quelmo Capture found - starting capture");
        startCapture(result.monitorSource, result.isDefault);
    });
}

void CaptureController::installBlackHole(bool makeDefaultOutput) {
    setShowBlackHoleInstallAlert(false);
    setBlackHoleInstallStatus(QStringLiteral("Creating Quelmo Capture..."));
    if (makeDefaultOutput) {
        // The deck's own sound stays where it plays now: following the default into the capture
        // sink would feed it back into itself.
        dependencies_.prepareAudio();
        if (auto error = dependencies_.engine->driver().pinToCurrentDevice()) {
            logLine("Quelmo: could not keep the output on its device: " + *error);
            setBlackHoleInstallStatus(QStringLiteral("❌ Could not keep Quelmo's output on its device: ") +
                                      QString::fromStdString(*error));
            return;
        }
        outputPinned_ = true;
    }
    sink_->create(makeDefaultOutput, [this](capture::CaptureSink::Result result) {
        if (!result.error.isEmpty() || !result.found) {
            logLine("Quelmo: could not create Quelmo Capture: " + result.error.toStdString());
            setBlackHoleInstallStatus(manualStatus);
            abandonRouting();
            return;
        }
        if (capturing_) {
            setBlackHoleInstallStatus(result.isDefault ? routedStatus : capturingStatus);
            return;
        }
        startCapture(result.monitorSource, result.isDefault);
    });
}

void CaptureController::startCapture(const QString& monitorSource, bool isDefaultOutput) {
    dependencies_.prepareAudio();
    auto& engine = *dependencies_.engine;
    inputNode_ = engine.inputNode();
    inputNode_->setVolume(static_cast<float>(volume_));
    if (auto error = inputNode_->startCapture(monitorSource.toStdString())) {
        inputNode_.reset();
        logLine("Quelmo: system audio capture failed: " + *error);
        setBlackHoleInstallStatus(QStringLiteral("❌ Could not record Quelmo Capture: ") + QString::fromStdString(*error));
        abandonRouting();
        return;
    }
    // Captured sound takes the import player's place at the head of the import chain: rate and
    // pitch, the import bus, the rack (the import level is the players' own volume, so captured
    // sound keeps its own level). Track rows play on beside it.
    engine.disconnectOutput(*dependencies_.importPlayer);
    engine.connect(inputNode_, dependencies_.importInputMixer);
    setIsCapturingSystemAudio(true);
    // The status says "Capturing" once sound flows.
    setBlackHoleInstallStatus(QStringLiteral("Starting capture…"));
    const QString running = isDefaultOutput ? routedStatus : capturingStatus;
    flowWatch_ = std::make_unique<QTimer>();
    flowWatch_->setInterval(20);
    connect(flowWatch_.get(), &QTimer::timeout, this,
            [this, running, started = dependencies_.clock->now(), flowing = false, reportedRuns = std::uint64_t{0}]() mutable {
        if (!inputNode_) {
            flowWatch_->stop();
            return;
        }
        const auto stats = inputNode_->captureStats();
        if (flowing) {
            // A capture that runs dry is heard as a gap and raises the queue it holds: worth a line,
            // as the output's gaps are.
            if (stats.underruns != reportedRuns) {
                reportedRuns = stats.underruns;
                char queue[64];
                std::snprintf(queue, sizeof queue, " so far); capture queue now %.1f ms",
                              stats.targetFrames * 1000.0 / engine::AudioEngine::sampleRate);
                logLine("Quelmo: system audio capture ran short (" + std::to_string(reportedRuns) + queue);
            }
        } else if (stats.queuedFrames > 0) {
            setBlackHoleInstallStatus(running);
            logLine("Quelmo: system audio capture active");
            flowing = true;
            reportedRuns = stats.underruns;
            flowWatch_->setInterval(1000);
        } else if (dependencies_.clock->now() - started > firstSoundTimeoutSeconds) {
            setBlackHoleInstallStatus(QStringLiteral("⚠️ Quelmo Capture sends no sound: is the sound server busy?"));
            flowWatch_->stop();
        }
    });
    flowWatch_->start();
}

// A ROUTE ALL APPS that did not end in capture: the output follows the default device again (it
// was pinned for the capture), and the default output goes back to what it was.
void CaptureController::abandonRouting() {
    if (!std::exchange(outputPinned_, false)) {
        return;
    }
    sink_->release([engine = dependencies_.engine] {
        if (auto error = engine->driver().followDefaultDevice()) {
            logLine("Quelmo: could not let the output follow the default device again: " + *error);
        }
    });
}

void CaptureController::giveTheImportChainBack() {
    auto& engine = *dependencies_.engine;
    engine.disconnectOutput(*inputNode_);
    engine.connect(dependencies_.importPlayer, dependencies_.importInputMixer);
    inputNode_.reset();
    flowWatch_.reset();
}

void CaptureController::stopSystemAudioCapture() {
    setIsCapturingSystemAudio(false);
    if (inputNode_) {
        inputNode_->stopCapture();
        giveTheImportChainBack();
    }
    flowWatch_.reset();
    logLine("Quelmo: System audio capture stopped");
    setBlackHoleInstallStatus(QString());
    const bool wasPinned = std::exchange(outputPinned_, false);
    sink_->release([engine = dependencies_.engine, wasPinned] {
        if (wasPinned) {
            engine->driver().followDefaultDevice();
        }
    });
}

void CaptureController::shutdown() {
    if (capturing_) {
        stopSystemAudioCapture();
    }
    sink_->releaseNow();
}

void CaptureController::soundServerBack(const std::string& reopenError) {
    if (!capturing_ || !inputNode_ || inputNode_->isCapturing()) {
        return;
    }
    // Quelmo Capture lived on the old server. Its module is gone with it: nothing to unload.
    logLine("Quelmo: system audio capture could not reopen: " + reopenError);
    giveTheImportChainBack();
    setIsCapturingSystemAudio(false);
    setBlackHoleInstallStatus(
        QStringLiteral("⚠️ The sound server restarted without Quelmo Capture: start SYSTEM AUDIO again"));
}

} // namespace quelmo
