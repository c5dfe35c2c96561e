#pragma once

#include "FramePacedItem.h"

#include <QLinearGradient>

namespace quelmo {

// The level strip of the keyboard-tuning caption: barCount capsules whose heights ripple along the
// strip. For bar i, t = i / barCount and s = sin(t 2π 3 + phase 7) / 2 + 1/2 (phase: seconds
// since the item was made); the bar is (0.8 s + 0.2) x intensity of the height, at least 2 px,
// max(2, slot - 1.5) wide, filled top to bottom from c084fc to 22d3ee. Redrawn on every tick of the
// deck's frame clock while it is seen.
class WaveformFXAnimatedBars : public FramePacedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double intensity READ intensity WRITE setIntensity NOTIFY intensityChanged)
    Q_PROPERTY(int barCount READ barCount CONSTANT)

public:
    explicit WaveformFXAnimatedBars(QQuickItem* parent = nullptr);

    double intensity() const { return intensity_; }
    void setIntensity(double intensity);
    int barCount() const { return 40; }

    void paint(QPainter* painter) override;

signals:
    void intensityChanged();

private:
    double intensity_ = 0.5;
};

} // namespace quelmo
