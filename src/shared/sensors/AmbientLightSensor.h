#pragma once

#include "shared/sensors/IioDevice.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace quelmo::shared {

// The ambient-light sensor, read on demand from the kernel's IIO device: an illuminance channel
// (lux) where the sensor has one, else an intensity channel (counts of its converter).
class AmbientLightSensor {
public:
    // The level that reads as 1.0: bright office lighting for lux, a 16-bit converter's full range
    // for bare counts.
    static constexpr double fullScaleLux = 1000.0;
    static constexpr double fullScaleCounts = 65535.0;

    explicit AmbientLightSensor(QString iioRoot = QString::fromLatin1(defaultIioRoot));

    // Opens the first device with a light channel; logs "⚠️ AmbientLightSensor: No ambient light
    // sensor found" and returns false when there is none.
    bool open();
    // The number the channel file holds (rounded, never below 0); 0 when closed or unreadable.
    std::uint64_t readRaw() const;
    // The light level in [0, 1]: the scaled reading over the full scale, clamped at 1.0.
    double readNormalized() const;
    void close();

    bool isOpen() const { return device_.has_value(); }

private:
    QString root_;
    std::optional<IioDevice> device_;
    QString channel_;
    QString type_;
};

} // namespace quelmo::shared
