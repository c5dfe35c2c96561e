#include "PerformWaveItem.h"

#include "overlay/PerformWave.h"

#include <QPainter>
#include <QRadialGradient>
#include <QQuickWindow>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace quelmo {

namespace {
const QColor layerColours[3] = {QColor(0xbf, 0x5a, 0xf2), QColor(0x64, 0xd2, 0xff), QColor(0x63, 0xe6, 0xe2)};
} // namespace

PerformWaveItem::PerformWaveItem(QQuickItem* parent) : FramePacedItem(parent) {}

void PerformWaveItem::setIntensity(double intensity) {
    if (intensity == intensity_) {
        return;
    }
    intensity_ = intensity;
    emit intensityChanged();
    requestFrame();
}

void PerformWaveItem::paint(QPainter* painter) {
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    const QSize size(qCeil(width() * dpr), qCeil(height() * dpr));
    if (size.isEmpty()) {
        return;
    }
    if (frame_.size() != size) {
        frame_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
        frame_.setDevicePixelRatio(dpr);
    }
    frame_.fill(Qt::transparent);
    const double phase = seconds();
    for (int layer = 0; layer < 3; ++layer) {
        drawLayer(layer, phase);
    }
    painter->drawImage(QPointF(0, 0), frame_);
}

void PerformWaveItem::drawLayer(int layer, double phase) {
    const PerformWave::Layer& shape = PerformWave::layers[layer];
    const int w = frame_.width();
    const int h = frame_.height();
    const double scale = frame_.devicePixelRatio();
    const QVector<QPointF> points = PerformWave::points(shape, phase, intensity_, w, h);
    const double step = static_cast<double>(w) / static_cast<double>(points.size() - 1);
    const double halfWidth = 1.6 * scale;
    const QColor colour = layerColours[layer];
    const double r = colour.redF(), g = colour.greenF(), b = colour.blueF();
    for (int x = 0; x < w; ++x) {
        // The polyline at this column's centre, and its slope there.
        const double cx = x + 0.5;
        const int segment = std::min(static_cast<int>(cx / step), static_cast<int>(points.size()) - 2);
        const QPointF& p0 = points[segment];
        const QPointF& p1 = points[segment + 1];
        const double slope = (p1.y() - p0.y()) / (p1.x() - p0.x());
        const double y = p0.y() + slope * (cx - p0.x());
        // A line of width 2 * halfWidth crosses the column over this height.
        const double half = halfWidth * std::sqrt(1.0 + slope * slope);
        const double top = y - half;
        const double bottom = y + half;
        // The opacity across the width: 0.2 at the left, the layer's own in the middle, 0.15 at the right.
        const double t = cx / w;
        const double alpha = t < 0.5 ? 0.2 + (shape.opacity - 0.2) * (t / 0.5) : shape.opacity + (0.15 - shape.opacity) * ((t - 0.5) / 0.5);
        const int first = std::max(0, static_cast<int>(std::floor(top)));
        const int last = std::min(h - 1, static_cast<int>(std::floor(bottom)));
        for (int row = first; row <= last; ++row) {
            const double coverage = std::min(bottom, row + 1.0) - std::max(top, static_cast<double>(row));
            if (coverage <= 0.0) {
                continue;
            }
            const double a = alpha * std::min(1.0, coverage);
            auto* pixel = reinterpret_cast<QRgb*>(frame_.scanLine(row)) + x;
            const double keep = 1.0 - a;
            // Source over, premultiplied.
            *pixel = qRgba(static_cast<int>(r * a * 255.0 + qRed(*pixel) * keep + 0.5),
                           static_cast<int>(g * a * 255.0 + qGreen(*pixel) * keep + 0.5),
                           static_cast<int>(b * a * 255.0 + qBlue(*pixel) * keep + 0.5),
                           static_cast<int>(a * 255.0 + qAlpha(*pixel) * keep + 0.5));
        }
    }
}

} // namespace quelmo

namespace quelmo {

void PerformGlowItem::paint(QPainter* painter) {
    const QRectF area(0, 0, width(), height());
    painter->fillRect(area, QColor::fromRgbF(0.0f, 0.0f, 0.0f, 0.78f));
    const QPointF centre(width() * 0.5, height() * 0.42);
    QRadialGradient glow(centre, 520.0, centre, 40.0);
    glow.setColorAt(0.0, QColor::fromRgbF(0.45f, 0.15f, 0.55f, 0.38f));
    glow.setColorAt(1.0, Qt::transparent);
    painter->fillRect(area, glow);
}

} // namespace quelmo
