#include "tracks/BeatGrid.h"

#include <algorithm>

namespace quelmo {

QString tempoText(const std::optional<BeatGrid>& grid) {
    if (!grid) {
        return QStringLiteral("—");
    }
    return QStringLiteral("%1 BPM").arg(grid->bpm(), 0, 'f', 1);
}

std::optional<SyncedLoop> syncedLoop(const BeatGrid& grid, double fileRate, std::int64_t fileFrames) {
    SyncedLoop loop;
    loop.firstFrame = static_cast<std::int64_t>(std::llround(grid.firstBeat * fileRate));
    loop.beatFrames = grid.beatLength * fileRate;
    if (!(loop.beatFrames >= 1.0) || loop.firstFrame < 0 || loop.firstFrame >= fileFrames) {
        return std::nullopt;
    }
    const auto beats = static_cast<std::int64_t>(std::floor(static_cast<double>(fileFrames - loop.firstFrame) / loop.beatFrames));
    constexpr std::int64_t beatsPerBar = 4;
    loop.beats = beats >= beatsPerBar ? beats / beatsPerBar * beatsPerBar : beats;
    if (loop.beats < 1) {
        return std::nullopt;
    }
    return loop;
}

std::int64_t SyncedLoop::barBeatAt(double seconds, double fileRate) const {
    const double beat = (seconds * fileRate - static_cast<double>(firstFrame)) / beatFrames;
    const std::int64_t per = beats >= 4 ? 4 : 1;
    const auto whole = static_cast<std::int64_t>(std::floor(std::max(0.0, beat) / static_cast<double>(per))) * per;
    return std::clamp<std::int64_t>(whole, 0, beats - per);
}

} // namespace quelmo
