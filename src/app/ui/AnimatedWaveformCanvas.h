#pragma once

#include "FramePacedItem.h"

#include <QColor>
#include <QList>
#include <QRectF>

namespace quelmo {

// One track's loudness overview as bars that wobble in time: for sample i of N, level =
// clamp(sample + sin(t * 5 + trackIndex * 0.5 + i / N * 10) * 0.15, 0.1, 1), a bar of height
// min(level * h * 0.85, h * 0.9) centred vertically, dim (0.25) left of progress and bright
// (0.7 + 0.3 * min(1, level * 2 + 0.3)) from it on. The bars' columns are kept between frames;
// only their heights change. While `resting` (what it shows is not playing) it moves at the rest
// pace, eight frames a second, else on every tick of the frame clock (24 a second).
class AnimatedWaveformCanvas : public FramePacedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QList<float> waveform READ waveform WRITE setWaveform NOTIFY waveformChanged)
    Q_PROPERTY(double progress READ progress WRITE setProgress NOTIFY progressChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(int trackIndex READ trackIndex WRITE setTrackIndex NOTIFY trackIndexChanged)
    Q_PROPERTY(bool resting READ resting WRITE setResting NOTIFY restingChanged)

public:
    explicit AnimatedWaveformCanvas(QQuickItem* parent = nullptr);

    QList<float> waveform() const { return waveform_; }
    void setWaveform(const QList<float>& waveform);
    double progress() const { return progress_; }
    void setProgress(double progress);
    QColor color() const { return color_; }
    void setColor(const QColor& color);
    int trackIndex() const { return trackIndex_; }
    void setTrackIndex(int index);
    bool resting() const { return resting_; }
    void setResting(bool resting);

    void paint(QPainter* painter) override;

signals:
    void waveformChanged();
    void progressChanged();
    void colorChanged();
    void trackIndexChanged();
    void restingChanged();

private:
    QList<float> waveform_;
    double progress_ = 0.0;
    QColor color_ = Qt::cyan;
    int trackIndex_ = 0;
    bool resting_ = false;
    // Left edge and width of each bar, for cachedSize_.
    QList<QRectF> columns_;
    QSizeF cachedSize_;
};

} // namespace quelmo
