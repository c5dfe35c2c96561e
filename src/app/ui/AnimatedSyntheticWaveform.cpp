#include "AnimatedSyntheticWaveform.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quelmo {

// The idle wave shows nothing playing: it moves at the rest pace.
AnimatedSyntheticWaveform::AnimatedSyntheticWaveform(QQuickItem* parent) : FramePacedItem(parent, restIntervalMs) {}

void AnimatedSyntheticWaveform::setPlayhead(double playhead) {
    if (playhead == playhead_) {
        return;
    }
    playhead_ = playhead;
    emit playheadChanged();
    requestFrame();
}

void AnimatedSyntheticWaveform::paint(QPainter* painter) {
    const double w = width();
    const double h = height();
    if (w <= 0.0 || h <= 0.0) {
        return;
    }
    if (cachedWidth_ != w) {
        centres_.resize(barCount);
        const double slot = w / barCount;
        for (int i = 0; i < barCount; ++i) {
            centres_[i] = (i + 0.5) * slot;
        }
        cachedWidth_ = w;
    }
    const double p = seconds() * 3.0;
    // Plain rectangles on whole pixels: the rasteriser fills them without building a path. The
    // bars' ends are rounded by a half-bright pixel above and below.
    for (int i = 0; i < barCount; ++i) {
        const double x = static_cast<double>(i) / barCount;
        const double factor =
            (0.5 * std::sin(x * 20.0 + p) + 0.3 * std::sin(x * 8.0 + p * 0.7) + 0.2 * std::sin(x * 35.0 + p * 1.3)) * 0.4 + 0.6;
        const double barHeight = factor * h;
        const double hue = std::fmod(x + p * 0.05, 1.0);
        QColor colour = QColor::fromHsvF(static_cast<float>(hue), 0.8f, 1.0f);
        colour.setAlphaF(x < playhead_ ? 0.9f : 0.3f);
        const int left = static_cast<int>(centres_[i]) - 1;
        const int top = static_cast<int>(std::lround((h - barHeight) / 2.0));
        const int height = std::max(2, static_cast<int>(std::lround(barHeight)));
        painter->fillRect(left, top + 1, 2, height - 2, colour);
        QColor end = colour;
        end.setAlphaF(colour.alphaF() * 0.5f);
        painter->fillRect(left, top, 2, 1, end);
        painter->fillRect(left, top + height - 1, 2, 1, end);
    }
}

} // namespace quelmo
