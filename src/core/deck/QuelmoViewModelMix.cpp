#include "deck/QuelmoViewModel.h"

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

void QuelmoViewModel::applyMixLevels() {
    if (!isGraphBuilt()) {
        return;
    }
}

} // namespace quelmo
