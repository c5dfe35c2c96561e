#include "deck/QuelmoViewModel.h"

#include "slap/QuelmoChassisSlapDetector.h"

#include <QSettings>

namespace quelmo {

void QuelmoViewModel::setChassisSlapStatus(const QString& value) {
    assign(chassisSlapStatus_, value, &QuelmoViewModel::chassisSlapStatusChanged);
}

void QuelmoViewModel::setChassisSlapEnabled(bool on) {
    assign(chassisSlapEnabled_, on, &QuelmoViewModel::chassisSlapEnabledChanged);
    if (!on) {
        slapDetector_.reset(); // stops it
        setChassisSlapStatus(QString());
        return;
    }
    setChassisSlapStatus(QStringLiteral("Starting…"));
    slapDetector_.reset();
    const QPointer<QuelmoViewModel> self(this);
    QuelmoChassisSlapDetector::Options options;
    options.now = &QuelmoChassisSlapDetector::steadySeconds;
    options.deckOutput = deckOutputLevels_;
    // The default source, unless the user named one. An output's monitor (the server's default
    // source where there is no microphone) would hear other applications' music: it counts as no
    // microphone unless the user picked it, here or through PULSE_SOURCE.
    options.sourceName = QSettings().value(QStringLiteral("LidTap/inputSource")).toString().toStdString();
    options.monitorsAllowed = !options.sourceName.empty() || !qEnvironmentVariableIsEmpty("PULSE_SOURCE");
    slapDetector_ = std::make_shared<QuelmoChassisSlapDetector>(
        [self](const QuelmoChassisSlapEvent& event) {
            if (!self) {
                return;
            }
            if (event.kind == QuelmoChassisSlapEvent::Kind::status) {
                self->setChassisSlapStatus(event.text);
                return;
            }
            self->prepareAudioEngineIfNeeded();
            self->triggerPad(0, false, QString());
            self->overlay_->flash(QStringLiteral("CHASSIS SLAP"), QStringLiteral("Kick drum"), 0.92, event.text);
        },
        std::move(options));
    slapDetector_->start();
}

} // namespace quelmo
