#include "WaveformFXAnimatedBars.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo {

WaveformFXAnimatedBars::WaveformFXAnimatedBars(QQuickItem* parent) : FramePacedItem(parent) {}

void WaveformFXAnimatedBars::setIntensity(double intensity) {
    if (intensity == intensity_) {
        return;
    }
    intensity_ = intensity;
    emit intensityChanged();
    requestFrame();
}

void WaveformFXAnimatedBars::paint(QPainter* painter) {
    const double w = width();
    const double h = height();
    if (w <= 0.0 || h <= 0.0) {
        return;
    }
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    QLinearGradient fill(0, 0, 0, h);
    QColor top(0xc0, 0x84, 0xfc);
    top.setAlphaF(0.95f);
    QColor bottom(0x22, 0xd3, 0xee);
    bottom.setAlphaF(0.88f);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter->setBrush(fill);
    const int count = barCount();
    const double slot = w / count;
    const double barWidth = std::max(2.0, slot - 1.5);
    const double phase = seconds();
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / count;
        const double s = std::sin(t * 2.0 * std::numbers::pi * 3.0 + phase * 7.0) * 0.5 + 0.5;
        const double barHeight = std::max(2.0, (s * 0.8 + 0.2) * std::clamp(intensity_, 0.0, 1.0) * h);
        const QRectF bar(i * slot + (slot - barWidth) / 2.0, h - barHeight, barWidth, barHeight);
        painter->drawRoundedRect(bar, barWidth / 2.0, barWidth / 2.0);
    }
}

} // namespace quelmo
