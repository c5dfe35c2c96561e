#include "deck/QuelmoViewModel.h"

#include "capture/CaptureSink.h"
#include "util/Log.h"

namespace quelmo {
namespace {
const QString capturingStatus = QStringLiteral("✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'");
const QString routedStatus = QStringLiteral("✅ Capturing system audio! Every app now plays into 'Quelmo Capture'");
const QString manualStatus =
    QStringLiteral("Create it manually: pactl load-module module-null-sink sink_name=quelmo_capture");
} // namespace

void QuelmoViewModel::setIsCapturingSystemAudio(bool value) {
    assign(isCapturingSystemAudio_, value, &QuelmoViewModel::isCapturingSystemAudioChanged);
}

void QuelmoViewModel::setSystemAudioVolume(double value) {
    assign(systemAudioVolume_, value, &QuelmoViewModel::systemAudioVolumeChanged);
    if (inputNode_) {
        inputNode_->setVolume(static_cast<float>(systemAudioVolume_));
    }
}

void QuelmoViewModel::setShowBlackHoleInstallAlert(bool value) {
    assign(showBlackHoleInstallAlert_, value, &QuelmoViewModel::showBlackHoleInstallAlertChanged);
}

void QuelmoViewModel::setBlackHoleInstallStatus(const QString& value) {
    assign(blackHoleInstallStatus_, value, &QuelmoViewModel::blackHoleInstallStatusChanged);
}

void QuelmoViewModel::scanForInputDevices() { checkForBlackHole(); }

void QuelmoViewModel::checkForBlackHole() {
    captureSink_->probe([this](capture::CaptureSink::Result result) {
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

void QuelmoViewModel::toggleSystemAudioCapture() {
    if (isCapturingSystemAudio_) {
        stopSystemAudioCapture();
        return;
    }
    checkAndStartCapture();
}

void QuelmoViewModel::checkAndStartCapture() {
    setBlackHoleInstallStatus(QStringLiteral("Checking Quelmo Capture..."));
    captureSink_->probe([this](capture::CaptureSink::Result result) {
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
        setupSystemAudioCaptureSync(result.monitorSource, result.isDefault);
    });
}

void QuelmoViewModel::installBlackHole(bool makeDefaultOutput) {
    setShowBlackHoleInstallAlert(false);
    setBlackHoleInstallStatus(QStringLiteral("Creating Quelmo Capture..."));
    if (makeDefaultOutput) {
        // The deck's own sound stays where it plays now: following the default into the capture
        // sink would feed it back into itself.
        prepareAudioEngineIfNeeded();
        if (auto error = engine_->driver().pinToCurrentDevice()) {
            logLine("Quelmo: could not keep the output on its device: " + *error);
            setBlackHoleInstallStatus(QStringLiteral("❌ Could not keep Quelmo's output on its device: ") +
                                      QString::fromStdString(*error));
            return;
        }
        outputPinnedForCapture_ = true;
    }
    captureSink_->create(makeDefaultOutput, [this](capture::CaptureSink::Result result) {
        if (!result.error.isEmpty() || !result.found) {
            logLine("Quelmo: could not create Quelmo Capture: " + result.error.toStdString());
            setBlackHoleInstallStatus(manualStatus);
            abandonRouting();
            return;
        }
        if (isCapturingSystemAudio_) {
            setBlackHoleInstallStatus(result.isDefault ? routedStatus : capturingStatus);
            return;
        }
        setupSystemAudioCaptureSync(result.monitorSource, result.isDefault);
    });
}

void QuelmoViewModel::setupSystemAudioCaptureSync(const QString& monitorSource, bool isDefaultOutput) {
    prepareAudioEngineIfNeeded();
    inputNode_ = engine_->inputNode();
    inputNode_->setVolume(static_cast<float>(systemAudioVolume_));
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
    engine_->disconnectOutput(*importPlayer_);
    engine_->connect(inputNode_, importInputMixer_);
    setIsCapturingSystemAudio(true);
    // The status says "Capturing" once sound flows: a sink the server has just made (or woken) may
    // take a moment, up to two seconds on PulseAudio's null sink, to hand over its first audio.
    setBlackHoleInstallStatus(QStringLiteral("Starting capture…"));
    const QString running = isDefaultOutput ? routedStatus : capturingStatus;
    captureFlowWatch_ = std::make_unique<QTimer>();
    captureFlowWatch_->setInterval(20);
    connect(captureFlowWatch_.get(), &QTimer::timeout, this, [this, running, started = clock_->now()] {
        if (!inputNode_) {
            captureFlowWatch_->stop();
            return;
        }
        if (inputNode_->captureStats().queuedFrames > 0) {
            setBlackHoleInstallStatus(running);
            logLine("Quelmo: system audio capture active");
            captureFlowWatch_->stop();
        } else if (clock_->now() - started > 10.0) {
            setBlackHoleInstallStatus(QStringLiteral("⚠️ Quelmo Capture sends no sound: is the sound server busy?"));
            captureFlowWatch_->stop();
        }
    });
    captureFlowWatch_->start();
}

// A ROUTE ALL APPS that did not end in capture: the output follows the default device again (it
// was pinned for the capture), and the default output goes back to what it was.
void QuelmoViewModel::abandonRouting() {
    if (!std::exchange(outputPinnedForCapture_, false)) {
        return;
    }
    captureSink_->release([this] {
        if (auto error = engine_->driver().followDefaultDevice()) {
            logLine("Quelmo: could not let the output follow the default device again: " + *error);
        }
    });
}

void QuelmoViewModel::stopSystemAudioCapture() {
    setIsCapturingSystemAudio(false);
    if (inputNode_) {
        inputNode_->stopCapture();
        engine_->disconnectOutput(*inputNode_);
        engine_->connect(importPlayer_, importInputMixer_);
        inputNode_.reset();
    }
    captureFlowWatch_.reset();
    logLine("Quelmo: System audio capture stopped");
    setBlackHoleInstallStatus(QString());
    const bool wasPinned = std::exchange(outputPinnedForCapture_, false);
    captureSink_->release([this, wasPinned] {
        if (wasPinned) {
            engine_->driver().followDefaultDevice();
        }
    });
}

} // namespace quelmo
