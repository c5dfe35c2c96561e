#pragma once

#include "FramePacedItem.h"

#include <QImage>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

namespace quelmo {

// The perform card's wave: three layers whose height follows intensity, drawn in C++ into the
// item's own small area. Each layer is a 3.2 px line fading towards both ends; since it is a
// function of x, it is drawn a pixel column at a time with exact vertical coverage (antialiased),
// a few thousand pixels a frame, instead of through QPainter's stroker and polygon rasteriser.
// It moves at 30 frames a second only while it can be seen and stands still otherwise, so a hidden
// card costs nothing.
class PerformWaveItem : public FramePacedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double intensity READ intensity WRITE setIntensity NOTIFY intensityChanged)

public:
    explicit PerformWaveItem(QQuickItem* parent = nullptr);

    double intensity() const { return intensity_; }
    void setIntensity(double intensity);

    void paint(QPainter* painter) override;

signals:
    void intensityChanged();

private:
    void drawLayer(int layer, double phase);

    double intensity_ = 0.2;
    QImage frame_; // reused from frame to frame
};

} // namespace quelmo

namespace quelmo {

// The perform card's backdrop: the screen dimmed to 78 % black under a violet glow (38 % at the
// centre, a little above the middle, fading to clear between radii 40 and 520). Painted once per
// size and kept as an image, so the wave's frames copy only their own small area of it.
class PerformGlowItem : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit PerformGlowItem(QQuickItem* parent = nullptr) : QQuickPaintedItem(parent) {}
    void paint(QPainter* painter) override;
};

} // namespace quelmo
