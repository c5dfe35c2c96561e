#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QMetaObject>
#include <QQuickPaintedItem>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace quelmo {

// The perform card's wave: three layers whose height follows intensity, drawn in C++ into the
// item's own small area. Each layer is a 3.2 px line fading towards both ends; since it is a
// function of x, it is drawn a pixel column at a time with exact vertical coverage (antialiased),
// a few thousand pixels a frame, instead of through QPainter's stroker and polygon rasteriser. It moves at 30 frames a second only while it can be seen (the item and
// its window visible) and stands still otherwise, so a hidden card costs nothing.
class PerformWaveItem : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double intensity READ intensity WRITE setIntensity NOTIFY intensityChanged)
    Q_PROPERTY(bool animating READ animating NOTIFY animatingChanged)

public:
    static constexpr int frameIntervalMs = 33;

    explicit PerformWaveItem(QQuickItem* parent = nullptr);

    double intensity() const { return intensity_; }
    void setIntensity(double intensity);
    bool animating() const { return timer_.isActive(); }

    void paint(QPainter* painter) override;

signals:
    void intensityChanged();
    void animatingChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData& data) override;

private:
    void drawLayer(int layer, double phase);
    void followWindow(QQuickWindow* window);
    void updateRunning();

    double intensity_ = 0.2;
    QImage frame_; // reused from frame to frame
    QTimer timer_;
    QElapsedTimer clock_;
    QMetaObject::Connection windowVisible_;
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
