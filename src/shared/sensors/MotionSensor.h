#pragma once

#include "shared/sensors/IioDevice.h"

#include <QString>

#include <optional>

namespace quelmo::shared {

// The machine's accelerometer, read on demand from the kernel's IIO device. The sysfs root is a
// parameter so tests can hand it a directory tree of their own. Not thread-safe: one thread uses
// one sensor.
class MotionSensor {
public:
    // Acceleration per axis, in g.
    struct MotionData {
        double x = 0.0;
        double y = 0.0;
        double z = 0.0;
        friend bool operator==(const MotionData&, const MotionData&) = default;
    };

    explicit MotionSensor(QString iioRoot = QString::fromLatin1(defaultIioRoot));

    // Opens the first IIO device with all three acceleration axes that read as numbers. Logs
    // "✅ MotionSensor: Opened <device>" or, when there is none, the "No accelerometer found" line,
    // and returns whether a sensor was opened.
    bool open();
    // The current acceleration; zeros when closed. An axis that fails to read reads 0.
    MotionData read() const;
    void close();

    bool isOpen() const { return device_.has_value(); }
    // The driver name of the open device ("accel_3d", "cros-ec-accel", ...); empty when closed.
    QString sensorType() const { return sensorType_; }

private:
    QString root_;
    std::optional<IioDevice> device_;
    QString sensorType_;
};

} // namespace quelmo::shared
