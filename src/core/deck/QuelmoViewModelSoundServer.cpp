#include "deck/QuelmoViewModel.h"

#include "capture/CaptureController.h"
#include "engine/AudioEngine.h"
#include "shared/Log.h"
#include "slap/LidTapController.h"
#include "util/AssignProperty.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

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
        if (!assignProperty(this, soundServerStatus_, lostStatus, &QuelmoViewModel::soundServerStatusChanged)) {
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
    if (!assignProperty(this, soundServerStatus_, QString(), &QuelmoViewModel::soundServerStatusChanged)) {
        return;
    }
    engine_->dispatchEvents(); // opens the capture again on the same source
    logLine("Quelmo: sound server back - output reopened");
    lidTap_->soundServerBack();
    capture_->soundServerBack(engine_->captureReopenError());
}

} // namespace quelmo
