#include "slap/LidTapController.h"

#include "slap/OutputLevelHistory.h"
#include "slap/QuelmoChassisSlapDetector.h"
#include "util/MediaClock.h"

#include <QPointer>

namespace quelmo {

LidTapController::LidTapController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies)) {}

LidTapController::~LidTapController() = default;

void LidTapController::setChassisSlapStatus(const QString& value) {
    if (status_ != value) {
        status_ = value;
        emit chassisSlapStatusChanged();
    }
}

void LidTapController::setChassisSlapEnabled(bool on) {
    if (enabled_ != on) {
        enabled_ = on;
        emit chassisSlapEnabledChanged();
    }
    if (!on) {
        detector_.reset(); // stops it
        setChassisSlapStatus(QString());
        return;
    }
    setChassisSlapStatus(QStringLiteral("Starting…"));
    detector_.reset();
    const QPointer<LidTapController> self(this);
    QuelmoChassisSlapDetector::Options options;
    options.now = &steadySeconds;
    options.deckOutput = dependencies_.deckOutput;
    // The default source, unless the user named one. An output's monitor (the server's default
    // source where there is no microphone) would hear other applications' music: it counts as no
    // microphone unless the user picked it, here or through PULSE_SOURCE.
    options.sourceName = dependencies_.inputSource ? dependencies_.inputSource().toStdString() : std::string();
    options.monitorsAllowed = !options.sourceName.empty() || !qEnvironmentVariableIsEmpty("PULSE_SOURCE");
    detector_ = std::make_shared<QuelmoChassisSlapDetector>(
        [self, onTap = dependencies_.onTap](const QuelmoChassisSlapEvent& event) {
            if (!self) {
                return;
            }
            if (event.kind == QuelmoChassisSlapEvent::Kind::status) {
                self->setChassisSlapStatus(event.text);
            } else if (onTap) {
                onTap(event.text);
            }
        },
        std::move(options));
    detector_->start();
}

void LidTapController::stop() { detector_.reset(); }

void LidTapController::soundServerLost(const QString& status) {
    if (detector_) {
        detector_->stop();
        setChassisSlapStatus(status);
    }
}

void LidTapController::soundServerBack() {
    if (detector_) {
        detector_->start();
    }
}

} // namespace quelmo
