#include "deck/QuelmoViewModel.h"

#include "engine/graph/InputNode.h"
#include "slap/LidTapController.h"
#include "util/Log.h"

#include <QCoreApplication>
#include <QPointer>

namespace quelmo {
namespace {
const QString lostStatus = QStringLiteral("Sound server lost — reconnecting…");
}

void QuelmoViewModel::watchSoundServer() {
    const QPointer<QuelmoViewModel> self(this);
    // Told on the output's own thread: hop to the main thread.
    engine_->setConnectionListener([self] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self] {
                if (self) {
                    self->soundServerConnectionChanged();
                }
            },
            Qt::QueuedConnection);
    });
}

void QuelmoViewModel::soundServerConnectionChanged() {
    if (engine_->isReconnecting()) {
        if (!assign(soundServerStatus_, lostStatus, &QuelmoViewModel::soundServerStatusChanged)) {
            return;
        }
        logLine("Quelmo: sound server lost - keeping time and reconnecting");
        // The stand-in clock renders on: keep delivering finished items and the capture reopening.
        if (engineEventTimer_ && !engineEventTimer_->isActive()) {
            engineEventTimer_->start();
        }
        lidTap_->soundServerLost(lostStatus);
        return;
    }
    if (!assign(soundServerStatus_, QString(), &QuelmoViewModel::soundServerStatusChanged)) {
        return;
    }
    engine_->dispatchEvents(); // opens the capture again on the same source
    logLine("Quelmo: sound server back - output reopened");
    lidTap_->soundServerBack();
    if (isCapturingSystemAudio_ && inputNode_ && !inputNode_->isCapturing()) {
        // Quelmo Capture lived on the old server. Its module is gone with it: nothing to unload.
        logLine("Quelmo: system audio capture could not reopen: " + engine_->captureReopenError());
        engine_->disconnectOutput(*inputNode_);
        engine_->connect(importPlayer_, importInputMixer_);
        inputNode_.reset();
        captureFlowWatch_.reset();
        setIsCapturingSystemAudio(false);
        setBlackHoleInstallStatus(
            QStringLiteral("⚠️ The sound server restarted without Quelmo Capture: start SYSTEM AUDIO again"));
    }
}

} // namespace quelmo
