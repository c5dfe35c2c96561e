#pragma once

#include <QPointF>
#include <QVector>

namespace quelmo::PerformWave {

// One of the three layers of the perform card's wave.
struct Layer {
    double speed;
    double amplitude;
    double opacity;
};
inline constexpr Layer layers[3] = {{1.0, 0.85, 0.35}, {1.6, 0.65, 0.5}, {2.2, 0.45, 0.7}};

// The wave's height follows the card's meter, kept within 0.2..1.
double intensityForMeter(double meter);

// The 81 points of a layer's polyline across width x height at time phase (seconds).
QVector<QPointF> points(const Layer& layer, double phase, double intensity, double width, double height);

} // namespace quelmo::PerformWave
