#include "deck/QuelmoViewModel.h"

#include "deck/PadPerformance.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "overlay/QuelmoOverlayPresenter.h"

#include <algorithm>

namespace quelmo {

void QuelmoViewModel::triggerPad(int index, bool showPerformOverlay, const QString& keyCaption) {
    triggerPad(index, 1.0f, showPerformOverlay, keyCaption);
}

void QuelmoViewModel::triggerPad(int index, float gain, bool showPerformOverlay, const QString& keyCaption) {
    prepareAudioEngineIfNeeded();
    if (index < 0 || index >= static_cast<int>(pads_.players.size()) || index >= static_cast<int>(pads_.buffers.size())) {
        return;
    }
    // Without a running engine nothing would ever play the hit or let it go: it is not queued.
    if (engine_->isRunning()) {
        auto& player = *pads_.players[static_cast<std::size_t>(index)];
        if (!player.isPlaying()) {
            player.play();
        }
        // A hit sounds now, as on a drum machine: the pad's own sound still ringing is cut short with
        // a 3 ms fade. Queued behind it instead, a held or fast-played pad would pile up hits that
        // sound seconds late; dropped, fast playing would lose notes.
        player.retrigger(pads_.buffers[static_cast<std::size_t>(index)], std::clamp(gain, 0.0f, 1.0f));
    }

    if (showPerformOverlay && index < padLabels_.size()) {
        const PerformCard c = PadPerformance::card(index, padLabels_[index], keyCaption);
        overlay_->flash(c.title, c.subtitle, c.meter, c.keyCaption);
    }
}

} // namespace quelmo
