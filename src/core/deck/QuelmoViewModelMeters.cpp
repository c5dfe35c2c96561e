#include "deck/QuelmoViewModel.h"

#include "deck/MeterBallistics.h"
#include "slap/OutputLevelHistory.h"
#include "slap/QuelmoChassisSlapDetector.h"
#include "slap/SlapAnalysis.h"

#include <chrono>

namespace quelmo {
namespace {
// 1/24 s, to the millisecond.
constexpr auto meterTick = std::chrono::milliseconds(42);
} // namespace

void QuelmoViewModel::setMeterPads(double value) { assign(meterPads_, value, &QuelmoViewModel::meterPadsChanged); }

void QuelmoViewModel::setMeterImport(double value) {
    assign(meterImport_, value, &QuelmoViewModel::meterImportChanged);
}

void QuelmoViewModel::setMeterMaster(double value) {
    assign(meterMaster_, value, &QuelmoViewModel::meterMasterChanged);
}

void QuelmoViewModel::setMeterVoice(double value) { assign(meterVoice_, value, &QuelmoViewModel::meterVoiceChanged); }

// Taps on the four bus mixers record each block's peak. Each tap holds what it writes into: it
// goes with the tap, which the engine releases on the main thread, never on the render thread.
void QuelmoViewModel::installMeterTapsIfNeeded() {
    if (meterTapsInstalled_) {
        return;
    }
    meterTapsInstalled_ = true;
    auto tapInto = [peaks = meterPeaks_](void (MeterPeakCapture::*note)(float)) {
        return [peaks, note](const float* const* channels, std::uint32_t frames, std::int64_t) {
            ((*peaks).*note)(MeterBallistics::peakMagnitude(channels, 2, frames));
        };
    };
    padsMixer_->installTap(tapInto(&MeterPeakCapture::notePads));
    importMixer_->installTap(tapInto(&MeterPeakCapture::noteImport));
    // The main output's tap also keeps the recent block levels for the lid-tap detector.
    mainMixer_->installTap([peaks = meterPeaks_, levels = deckOutputLevels_](const float* const* channels,
                                                                             std::uint32_t frames, std::int64_t) {
        peaks->noteMain(MeterBallistics::peakMagnitude(channels, 2, frames));
        const float level =
            std::max(slap::SlapAnalysis::rms(channels[0], frames), slap::SlapAnalysis::rms(channels[1], frames));
        levels->record(QuelmoChassisSlapDetector::steadySeconds(), level);
    });
    voiceBusMixer_->installTap(tapInto(&MeterPeakCapture::noteVoice));
}

void QuelmoViewModel::startMeterDecayTimerIfNeeded() {
    meterDecayTimer_ = std::make_unique<QTimer>();
    meterDecayTimer_->setTimerType(Qt::PreciseTimer);
    meterDecayTimer_->setInterval(meterTick);
    connect(meterDecayTimer_.get(), &QTimer::timeout, this, &QuelmoViewModel::updateMeters);
    meterDecayTimer_->start();
}

void QuelmoViewModel::updateMeters() {
    const auto peaks = meterPeaks_->drain();
    setMeterPads(MeterBallistics::step(meterPads_, peaks.pads));
    setMeterImport(MeterBallistics::step(meterImport_, peaks.imp));
    setMeterMaster(MeterBallistics::step(meterMaster_, peaks.main));
    setMeterVoice(MeterBallistics::step(meterVoice_, peaks.voice));
    const bool allDown = meterPads_ == 0.0 && meterImport_ == 0.0 && meterMaster_ == 0.0 && meterVoice_ == 0.0;
    if (allDown && engine_->isSuspended() && meterDecayTimer_) {
        meterDecayTimer_->stop(); // restarted when the engine wakes
    }
}

void QuelmoViewModel::removeMeterTaps() {
    if (!meterTapsInstalled_) {
        return;
    }
    padsMixer_->removeTap();
    importMixer_->removeTap();
    mainMixer_->removeTap();
    voiceBusMixer_->removeTap();
    meterTapsInstalled_ = false;
}

} // namespace quelmo
