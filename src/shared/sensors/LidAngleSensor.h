#pragma once

#include "shared/sensors/AmbientLightSensor.h"

#include <QString>

#include <optional>

namespace quelmo::shared {

// Where the firmware's DMI table is published.
inline constexpr char defaultDmiRoot[] = "/sys/class/dmi/id";

// How far the laptop's lid is open, in degrees: from a hinge-angle IIO channel where the machine
// has one, else estimated from the ambient light.
class LidAngleSensor {
public:
    // The angle assumed when neither a hinge sensor nor a light sensor is there.
    static constexpr double fallbackAngle = 90.0;
    // Degrees per unit of normalised light in the estimate.
    static constexpr double degreesAtFullLight = 135.0;

    explicit LidAngleSensor(QString iioRoot = QString::fromLatin1(defaultIioRoot));

    // The hinge angle ("in_angl" channel); none without one. A bare reading with no scale is in
    // degrees (as the ChromeOS embedded controller's lid-angle sensor gives it); a scaled one is in
    // the kernel's unit for angles, radians.
    std::optional<double> readDirect() const;
    // The light level taken as the lid opening: normalised light × 135; 90.0 without a light sensor.
    double readEstimated();
    // readDirect() if present, else readEstimated().
    double read();

    // Whether the machine is a laptop (a portable with a lid), from the DMI chassis type.
    static bool isLaptop(const QString& dmiRoot = QString::fromLatin1(defaultDmiRoot));

private:
    QString root_;
    AmbientLightSensor als_;
};

} // namespace quelmo::shared
