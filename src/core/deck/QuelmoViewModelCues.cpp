#include "deck/QuelmoViewModel.h"

#include <algorithm>
#include <cmath>

namespace quelmo {

void QuelmoViewModel::addOrJumpCue(double position) {
    const double p = std::clamp(position, 0.0, 1.0);
    for (const double cue : hotCues_) {
        if (std::abs(cue - p) < 0.028) {
            jumpToCue(cue);
            return;
        }
    }
    if (hotCues_.size() < 8) {
        auto cues = hotCues_;
        cues.append(p);
        std::sort(cues.begin(), cues.end());
        setHotCues(cues);
    }
}

void QuelmoViewModel::jumpToCue(double cue) {
    setPlayhead(std::clamp(cue, 0.0, 1.0));
    playheadAtStart_ = playhead_;
    transportStart_ = clock_->now();
    if (importPlaying_) {
        seekImport(cue);
    }
    // The waveform shows the selected row: its cues move that row's sound when it plays.
    if (const auto track = selectedTrack(); track && playingTrackIds_.contains(track->id)) {
        seekTrack(track->id, cue);
    }
}

void QuelmoViewModel::removeCue(double position) {
    auto cues = hotCues_;
    cues.removeIf([position](double c) { return std::abs(c - position) < 0.035; });
    setHotCues(cues);
}

void QuelmoViewModel::clearCues() { setHotCues({}); }

} // namespace quelmo
