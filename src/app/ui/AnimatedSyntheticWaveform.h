#pragma once

#include "FramePacedItem.h"

#include <QList>

namespace quelmo {

// The idle wave: 100 bars 2 px wide with rounded ends. With p = t * 3, bar i (x = i / 100) is
// (0.5 sin(20x + p) + 0.3 sin(8x + 0.7p) + 0.2 sin(35x + 1.3p)) * 0.4 + 0.6 of the height, in the
// hue x + 0.05p (mod 1) at saturation 0.8 and brightness 1, at 0.9 opacity before the playhead and
// 0.3 after it. The bars' columns are kept between frames; only heights and hues change.
class AnimatedSyntheticWaveform : public FramePacedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(double playhead READ playhead WRITE setPlayhead NOTIFY playheadChanged)

public:
    static constexpr int barCount = 100;

    explicit AnimatedSyntheticWaveform(QQuickItem* parent = nullptr);

    double playhead() const { return playhead_; }
    void setPlayhead(double playhead);

    void paint(QPainter* painter) override;

signals:
    void playheadChanged();

private:
    double playhead_ = 0.0;
    QList<double> centres_; // bar centres for cachedWidth_
    double cachedWidth_ = -1.0;
};

} // namespace quelmo
