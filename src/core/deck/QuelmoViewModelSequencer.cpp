#include "deck/QuelmoViewModel.h"

#include "timing/TransportMath.h"

#include <cmath>

namespace quelmo {
namespace {
// The sequencer's booked pad hits, told apart from hits played by hand on the same pads.
constexpr engine::PlayerNode::Group sequencerHits = 2;

bool inGrid(int row, int col) {
    return row >= 0 && row < QuelmoViewModel::padCount && col >= 0 && col < QuelmoViewModel::sequencerSteps;
}
} // namespace

void QuelmoViewModel::setSequencerRunning(bool value) {
    assign(sequencerRunning_, value, &QuelmoViewModel::sequencerRunningChanged);
}

void QuelmoViewModel::setSequencerStep(int value) {
    assign(sequencerStep_, value, &QuelmoViewModel::sequencerStepChanged);
}

void QuelmoViewModel::setSequencerGrid(const QList<bool>& value) {
    if (value.size() != padCount * sequencerSteps) {
        return; // every reader counts on 8 rows of 16
    }
    assign(sequencerGrid_, value, &QuelmoViewModel::sequencerGridChanged);
}

bool QuelmoViewModel::sequencerCell(int row, int col) const {
    return inGrid(row, col) && sequencerGrid_[row * sequencerSteps + col];
}

void QuelmoViewModel::toggleSequencerCell(int row, int col) {
    if (!inGrid(row, col)) {
        return;
    }
    QList<bool> grid = sequencerGrid_;
    const bool lit = !grid[row * sequencerSteps + col];
    grid[row * sequencerSteps + col] = lit;
    setSequencerGrid(grid);
    // The column due next is booked already: bring its booking in line with the cell.
    if (seqTimer_->isRunning() && col == sequencerStep_) {
        const std::int64_t sample = seqTimer_->grid().sampleOf(seqTimer_->nextEvent());
        if (lit) {
            bookPadHit(row, sample);
        } else if (static_cast<std::size_t>(row) < padPlayers_.size()) {
            // Only this step's hit: an earlier one still waiting behind a long pad keeps its place.
            padPlayers_[static_cast<std::size_t>(row)]->cancelPending(sequencerHits, sample);
        }
    }
}

void QuelmoViewModel::clearSequencer() {
    setSequencerGrid(QList<bool>(padCount * sequencerSteps, false));
    for (int row = 0; row < padCount; ++row) {
        cancelBookedPadHits(row);
    }
}

void QuelmoViewModel::toggleSequencer() {
    setSequencerRunning(!sequencerRunning_);
    if (sequencerRunning_) {
        prepareAudioEngineIfNeeded(); // the step grid is laid on the running audio timeline
        setSequencerStep(0);
        startSequencerTimer();
    } else {
        stopSequencerTimer(); // the step stays where it is; a new start begins at column 1
    }
    updateKeepAwake();
}

void QuelmoViewModel::stopSequencer() {
    setSequencerRunning(false);
    stopSequencerTimer();
    updateKeepAwake();
}

void QuelmoViewModel::startSequencerTimer() {
    stopSequencerTimer();
    const transport::BeatGrid grid = gridFromNow(transport::stepSeconds(bpm_));
    seqTimer_->start(grid, 1, [this](std::int64_t) { fireSequencerStep(); });
    // The first step plays one step from now; it is booked at once, and each step books the next.
    bookColumn(sequencerStep_, grid.sampleOf(1));
}

void QuelmoViewModel::stopSequencerTimer() {
    seqTimer_->stop();
    for (int row = 0; row < padCount; ++row) {
        cancelBookedPadHits(row);
    }
}

void QuelmoViewModel::fireSequencerStep() {
    // This step's column sounds now, on its sample: it was booked one step ago.
    setSequencerStep((sequencerStep_ + 1) % sequencerSteps);
    bookColumn(sequencerStep_, seqTimer_->grid().sampleOf(seqTimer_->nextEvent()));
}

void QuelmoViewModel::restartSequencerTimerIfRunning() {
    if (sequencerRunning_) {
        startSequencerTimer(); // same step, new interval from now
    }
}

void QuelmoViewModel::bookColumn(int col, std::int64_t sample) {
    for (int row = 0; row < padCount; ++row) { // in row order, lowest first
        if (sequencerCell(row, col)) {
            bookPadHit(row, sample);
        }
    }
}

void QuelmoViewModel::bookPadHit(int row, std::int64_t sample) {
    prepareAudioEngineIfNeeded();
    const auto index = static_cast<std::size_t>(row);
    if (!engine_->isRunning() || index >= padPlayers_.size() || index >= padBuffers_.size()) {
        return;
    }
    if (sample < engine_->sampleTime()) {
        return; // its moment has been rendered already: better a missing hit than a late one
    }
    auto& player = *padPlayers_[index];
    if (!player.isPlaying()) {
        player.play();
    }
    // Like a hit by hand, it waits for the pad's own sound to end rather than cut or layer it; a hit
    // that would sound more than a step late is dropped, so a pad stepped faster than it lasts
    // keeps a short queue instead of falling ever further behind.
    const auto step = static_cast<std::int64_t>(std::llround(seqTimer_->grid().intervalSeconds * engine::AudioEngine::sampleRate));
    player.scheduleBuffer(padBuffers_[index], sample, {}, sequencerHits, sample + step);
}

void QuelmoViewModel::cancelBookedPadHits(int row) {
    const auto index = static_cast<std::size_t>(row);
    if (index < padPlayers_.size()) {
        padPlayers_[index]->cancelPending(sequencerHits);
    }
}

} // namespace quelmo
