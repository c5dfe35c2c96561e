#include "tracks/BeatGrid.h"

namespace quelmo {

QString tempoText(const std::optional<BeatGrid>& grid) {
    if (!grid) {
        return QStringLiteral("—");
    }
    return QStringLiteral("%1 BPM").arg(grid->bpm(), 0, 'f', 1);
}

} // namespace quelmo
