#include "deck/QuelmoViewModel.h"

#include "timing/TransportMath.h"

namespace quelmo {
namespace {
// The metronome's booked clicks, cancelled together when the beat clock restarts or stops.
constexpr engine::PlayerNode::Group metronomeClicks = 1;
constexpr double transportTickSeconds = 1.0 / 30.0;
} // namespace

void QuelmoViewModel::setIsPlaying(bool value) {
    assign(isPlaying_, value, &QuelmoViewModel::isPlayingChanged);
}

void QuelmoViewModel::setBpm(double value) {
    assign(bpm_, transport::effectiveBpm(value), &QuelmoViewModel::bpmChanged);
    restartBeatClockIfPlaying();
    restartSequencerTimerIfRunning();
}

void QuelmoViewModel::setPlayhead(double value) {
    assign(playhead_, value, &QuelmoViewModel::playheadChanged);
}

void QuelmoViewModel::setDeckBBlend(double value) {
    if (assign(deckBBlend_, value, &QuelmoViewModel::deckBBlendChanged) && beatPlayer_) {
        // Clicks are booked a beat ahead: each sounds at the level set when it sounds.
        beatPlayer_->setVolume(static_cast<float>(deckBBlend_));
    }
}

void QuelmoViewModel::togglePlay() {
    prepareAudioEngineIfNeeded();
    setIsPlaying(!isPlaying_);
    if (isPlaying_) {
        playheadAtStart_ = playhead_; // resume where it stopped
        transportStart_ = clock_->now();
        startBeatClock();
        fireBeatTick(); // the first click on the press, not one beat later
        startTransportLink();
    } else {
        stopBeatClock();
        stopTransportLink();
    }
    updateKeepAwake();
}

void QuelmoViewModel::stopTransport() {
    setIsPlaying(false);
    stopBeatClock();
    stopTransportLink();
    updateKeepAwake();
}

void QuelmoViewModel::startBeatClock() {
    stopBeatClock();
    beatEvent_ = 0;
    beatTimer_->start(gridFromNow(transport::beatSeconds(bpm_)), 1, [this](std::int64_t event) {
        beatEvent_ = event;
        fireBeatTick();
        bookClick(event + 1);
    });
    // Beat 1 is booked now, a whole beat ahead; each beat then books the one after it.
    bookClick(1);
}

void QuelmoViewModel::stopBeatClock() {
    beatTimer_->stop();
    // A click already sounding plays out; the booked ones never sound.
    beatPlayer_->cancelPending(metronomeClicks);
}

void QuelmoViewModel::fireBeatTick() {
    if (!tickBuffer_) {
        return;
    }
    beatPlayer_->setVolume(static_cast<float>(deckBBlend_));
    if (!beatPlayer_->isPlaying()) {
        beatPlayer_->play();
    }
    if (beatEvent_ == 0) {
        bookClick(0); // every later beat was booked one beat ahead
    }
}

void QuelmoViewModel::bookClick(std::int64_t event) {
    if (!tickBuffer_ || !engine_->isRunning()) {
        return; // nothing would ever play it
    }
    const std::int64_t at = beatTimer_->grid().sampleOf(event);
    if (at < engine_->sampleTime()) {
        return; // its moment has been rendered already: better a missing click than a late one
    }
    beatPlayer_->scheduleBuffer(tickBuffer_, at, {}, metronomeClicks);
}

void QuelmoViewModel::startTransportLink() {
    stopTransportLink();
    transport::BeatGrid ticks;
    ticks.anchorSeconds = clock_->now();
    ticks.intervalSeconds = transportTickSeconds;
    transportTimer_->start(ticks, 1, [this](std::int64_t) { tickTransport(); });
}

void QuelmoViewModel::stopTransportLink() { transportTimer_->stop(); }

void QuelmoViewModel::tickTransport() {
    if (!isPlaying_) {
        return;
    }
    setPlayhead(transport::playheadAt(playheadAtStart_, clock_->now() - transportStart_, bpm_));
    if (importPlaying_ && currentTrackDuration_ > 0.0) {
        setCurrentTrackPosition(
            transport::advanceTrackPosition(currentTrackPosition_, currentTrackDuration_, transportTickSeconds));
    }
}

void QuelmoViewModel::restartBeatClockIfPlaying() {
    if (isPlaying_) {
        startBeatClock(); // the next click one new beat from now; none at once
    }
}

transport::BeatGrid QuelmoViewModel::gridFromNow(double intervalSeconds) const {
    transport::BeatGrid grid;
    grid.anchorSample = engine_->schedulingHorizon();
    grid.anchorSeconds = clock_->now();
    grid.intervalSeconds = intervalSeconds;
    return grid;
}

void QuelmoViewModel::updateKeepAwake() { engine_->setKeepAwake(isPlaying_ || sequencerRunning_); }

} // namespace quelmo
