#include "shared/sensors/MotionSensor.h"

#include "shared/Log.h"

namespace quelmo::shared {
namespace {

// Standard gravity: the kernel reports acceleration in m/s².
constexpr double metresPerSecondSquaredPerG = 9.80665;
const QString accelType = QStringLiteral("in_accel");

std::optional<double> readAxis(const IioDevice& device, char axis) {
    const auto value = device.readChannel(accelType + '_' + QLatin1Char(axis), accelType);
    if (!value) {
        return std::nullopt;
    }
    return *value / metresPerSecondSquaredPerG;
}

} // namespace

MotionSensor::MotionSensor(QString iioRoot) : root_(std::move(iioRoot)) {
}

bool MotionSensor::open() {
    close();
    for (const IioDevice& device : IioDevice::list(root_)) {
        if (readAxis(device, 'x') && readAxis(device, 'y') && readAxis(device, 'z')) {
            device_ = device;
            sensorType_ = device.name();
            logLine(QStringLiteral("✅ MotionSensor: Opened ") + sensorType_);
            return true;
        }
    }
    logLine(QStringLiteral("⚠️ MotionSensor: No accelerometer found (desktop or unsupported model)"));
    return false;
}

MotionSensor::MotionData MotionSensor::read() const {
    if (!device_) {
        return {};
    }
    return {readAxis(*device_, 'x').value_or(0.0), readAxis(*device_, 'y').value_or(0.0),
            readAxis(*device_, 'z').value_or(0.0)};
}

void MotionSensor::close() {
    device_.reset();
    sensorType_.clear();
}

} // namespace quelmo::shared
