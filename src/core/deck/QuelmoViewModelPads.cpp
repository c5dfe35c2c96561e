#include "deck/QuelmoViewModel.h"

#include "deck/PadPerformance.h"

namespace quelmo {

void QuelmoViewModel::triggerPad(int index, bool showPerformOverlay, const QString& keyCaption) {
    prepareAudioEngineIfNeeded();
    if (index < 0 || index >= static_cast<int>(padPlayers_.size()) || index >= static_cast<int>(padBuffers_.size())) {
        return;
    }
    // Without a running engine nothing would ever play the hit or let it go: it is not queued.
    if (engine_->isRunning()) {
        auto& player = *padPlayers_[static_cast<std::size_t>(index)];
        if (!player.isPlaying()) {
            player.play();
        }
        // Queued behind the pad's own earlier hits: one pad never overlaps or cuts itself.
        player.scheduleBuffer(padBuffers_[static_cast<std::size_t>(index)]);
    }

    if (showPerformOverlay && index < padLabels_.size()) {
        const PerformCard c = PadPerformance::card(index, padLabels_[index], keyCaption);
        overlay_->flash(c.title, c.subtitle, c.meter, c.keyCaption);
    }
}

} // namespace quelmo
