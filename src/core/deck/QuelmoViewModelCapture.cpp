#include "deck/QuelmoViewModel.h"

namespace quelmo {

void QuelmoViewModel::setIsCapturingSystemAudio(bool value) {
    assign(isCapturingSystemAudio_, value, &QuelmoViewModel::isCapturingSystemAudioChanged);
}

void QuelmoViewModel::setSystemAudioVolume(double value) {
    assign(systemAudioVolume_, value, &QuelmoViewModel::systemAudioVolumeChanged);
}

void QuelmoViewModel::setShowBlackHoleInstallAlert(bool value) {
    assign(showBlackHoleInstallAlert_, value, &QuelmoViewModel::showBlackHoleInstallAlertChanged);
}

void QuelmoViewModel::setBlackHoleInstallStatus(const QString& value) {
    assign(blackHoleInstallStatus_, value, &QuelmoViewModel::blackHoleInstallStatusChanged);
}

} // namespace quelmo
