#include "deck/QuelmoViewModel.h"

namespace quelmo {

// Fixed parameters of the rack units; set once, before the graph exists.
void QuelmoViewModel::setupEffects() { setupVoiceBusEffects(); }

void QuelmoViewModel::setupVoiceBusEffects() {}

// Builds the graph and starts the engine. Until the engine renders, the graph stays unbuilt.
void QuelmoViewModel::setupAudio() {}

} // namespace quelmo
