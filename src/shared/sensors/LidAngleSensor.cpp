#include "shared/sensors/LidAngleSensor.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <numbers>

namespace quelmo::shared {

LidAngleSensor::LidAngleSensor(QString iioRoot) : root_(iioRoot), als_(std::move(iioRoot)) {
}

std::optional<double> LidAngleSensor::readDirect() const {
    const QString channel = QStringLiteral("in_angl");
    for (const IioDevice& device : IioDevice::list(root_)) {
        const auto value = device.readChannel(channel, channel);
        if (!value) {
            continue;
        }
        const bool bareDegrees = !QFileInfo(device.path() + QStringLiteral("/in_angl_input")).exists() &&
                                 !device.isScaled(channel, channel);
        return bareDegrees ? *value : *value * 180.0 / std::numbers::pi;
    }
    return std::nullopt;
}

double LidAngleSensor::readEstimated() {
    if (!als_.open()) {
        return fallbackAngle;
    }
    const double level = als_.readNormalized();
    als_.close();
    return level * degreesAtFullLight;
}

double LidAngleSensor::read() {
    if (const auto direct = readDirect()) {
        return *direct;
    }
    return readEstimated();
}

bool LidAngleSensor::isLaptop(const QString& dmiRoot) {
    // SMBIOS chassis types: portable, laptop, notebook, sub notebook, convertible, detachable.
    constexpr int withLid[] = {8, 9, 10, 14, 31, 32};
    QFile file(dmiRoot + QStringLiteral("/chassis_type"));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    bool ok = false;
    const int type = QString::fromLatin1(file.read(16)).trimmed().toInt(&ok);
    return ok && std::find(std::begin(withLid), std::end(withLid), type) != std::end(withLid);
}

} // namespace quelmo::shared
