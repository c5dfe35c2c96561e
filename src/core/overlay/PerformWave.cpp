#include "overlay/PerformWave.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo::PerformWave {

double intensityForMeter(double meter) { return std::max(0.2, std::min(1.0, meter)); }

QVector<QPointF> points(const Layer& layer, double phase, double intensity, double width, double height) {
    constexpr int count = 81;
    constexpr double pi = std::numbers::pi;
    QVector<QPointF> out;
    out.reserve(count);
    const double p = layer.speed * phase;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / (count - 1);
        const double shape = 0.38 * std::sin(5 * pi * t + 2.4 * p) + 0.22 * std::sin(11 * pi * t + 3.1 * p) +
                             0.15 * std::sin(2 * pi * t + 1.2 * p);
        out.append({t * width, height / 2 + shape * intensity * layer.amplitude * height * 0.42});
    }
    return out;
}

} // namespace quelmo::PerformWave
