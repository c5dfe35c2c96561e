#include "deck/QuelmoViewModel.h"

namespace quelmo {

void QuelmoViewModel::setIsPlaying(bool value) {
    assign(isPlaying_, value, &QuelmoViewModel::isPlayingChanged);
}

void QuelmoViewModel::setBpm(double value) {
    assign(bpm_, value, &QuelmoViewModel::bpmChanged);
}

void QuelmoViewModel::setPlayhead(double value) {
    assign(playhead_, value, &QuelmoViewModel::playheadChanged);
}

void QuelmoViewModel::setDeckBBlend(double value) {
    assign(deckBBlend_, value, &QuelmoViewModel::deckBBlendChanged);
}

void QuelmoViewModel::setSequencerRunning(bool value) {
    assign(sequencerRunning_, value, &QuelmoViewModel::sequencerRunningChanged);
}

void QuelmoViewModel::setSequencerStep(int value) {
    assign(sequencerStep_, value, &QuelmoViewModel::sequencerStepChanged);
}

void QuelmoViewModel::setSequencerGrid(const QList<bool>& value) {
    assign(sequencerGrid_, value, &QuelmoViewModel::sequencerGridChanged);
}

void QuelmoViewModel::stopSequencer() {
    seqTimer_.reset();
    setSequencerRunning(false);
}

void QuelmoViewModel::stopTransportLink() { transportTimer_.reset(); }

} // namespace quelmo
