#include "AnimatedWaveformCanvas.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quelmo {

AnimatedWaveformCanvas::AnimatedWaveformCanvas(QQuickItem* parent) : FramePacedItem(parent) {}

void AnimatedWaveformCanvas::setWaveform(const QList<float>& waveform) {
    if (waveform == waveform_) {
        return;
    }
    waveform_ = waveform;
    cachedSize_ = {};
    emit waveformChanged();
    requestFrame();
}

void AnimatedWaveformCanvas::setProgress(double progress) {
    if (progress == progress_) {
        return;
    }
    progress_ = progress;
    emit progressChanged();
    requestFrame();
}

void AnimatedWaveformCanvas::setColor(const QColor& color) {
    if (color == color_) {
        return;
    }
    color_ = color;
    emit colorChanged();
    requestFrame();
}

void AnimatedWaveformCanvas::setTrackIndex(int index) {
    if (index == trackIndex_) {
        return;
    }
    trackIndex_ = index;
    emit trackIndexChanged();
    requestFrame();
}

void AnimatedWaveformCanvas::setResting(bool resting) {
    if (resting == resting_) {
        return;
    }
    resting_ = resting;
    setFrameInterval(resting ? restIntervalMs : frameIntervalMs);
    emit restingChanged();
}

void AnimatedWaveformCanvas::paint(QPainter* painter) {
    const qsizetype n = waveform_.size();
    const QSizeF size(width(), height());
    if (n == 0 || size.isEmpty()) {
        return;
    }
    if (cachedSize_ != size || columns_.size() != n) {
        const double slot = size.width() / static_cast<double>(n);
        const double barWidth = std::max(1.0, slot - 0.5);
        columns_.resize(n);
        for (qsizetype i = 0; i < n; ++i) {
            columns_[i] = QRectF(static_cast<double>(i) / static_cast<double>(n) * size.width(), 0.0, barWidth, 0.0);
        }
        cachedSize_ = size;
    }
    const double h = size.height();
    const double base = seconds() * 5.0 + trackIndex_ * 0.5;
    // Plain rectangles: the rasteriser fills them without building a path, a few hundred a frame.
    for (qsizetype i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) / static_cast<double>(n);
        const double wobble = std::sin(base + x * 10.0) * 0.15;
        const double level = std::clamp(static_cast<double>(waveform_[i]) + wobble, 0.1, 1.0);
        const double barHeight = std::min(level * h * 0.85, h * 0.9);
        const double opacity = x < progress_ ? 0.25 : 0.7 + 0.3 * std::min(1.0, level * 2.0 + 0.3);
        QColor fill = color_;
        fill.setAlphaF(static_cast<float>(opacity));
        QRectF bar = columns_[i];
        bar.setTop((h - barHeight) / 2.0);
        bar.setHeight(barHeight);
        painter->fillRect(bar, fill);
    }
}

} // namespace quelmo
