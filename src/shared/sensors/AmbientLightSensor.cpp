#include "shared/sensors/AmbientLightSensor.h"

#include "shared/Log.h"

#include <algorithm>
#include <cmath>

namespace quelmo::shared {
namespace {

struct LightChannel {
    const char* channel;
    const char* type;
};
// In order of preference: calibrated lux first, then the visible-light intensity channels.
constexpr LightChannel lightChannels[] = {
    {"in_illuminance", "in_illuminance"},  {"in_illuminance0", "in_illuminance"},
    {"in_intensity_both", "in_intensity"}, {"in_intensity_clear", "in_intensity"},
    {"in_intensity", "in_intensity"},
};

} // namespace

AmbientLightSensor::AmbientLightSensor(QString iioRoot) : root_(std::move(iioRoot)) {
}

bool AmbientLightSensor::open() {
    close();
    for (const IioDevice& device : IioDevice::list(root_)) {
        for (const LightChannel& light : lightChannels) {
            const QString channel = QString::fromLatin1(light.channel);
            if (device.hasChannel(channel)) {
                device_ = device;
                channel_ = channel;
                type_ = QString::fromLatin1(light.type);
                return true;
            }
        }
    }
    logLine(QStringLiteral("⚠️ AmbientLightSensor: No ambient light sensor found"));
    return false;
}

std::uint64_t AmbientLightSensor::readRaw() const {
    if (!device_) {
        return 0;
    }
    const double value = device_->readChannelFile(channel_).value_or(0.0);
    return value > 0.0 ? static_cast<std::uint64_t>(std::llround(value)) : 0;
}

double AmbientLightSensor::readNormalized() const {
    if (!device_) {
        return 0.0;
    }
    const double level = device_->readChannel(channel_, type_).value_or(0.0);
    const double fullScale = type_ == QLatin1String("in_illuminance") ? fullScaleLux : fullScaleCounts;
    return std::clamp(level / fullScale, 0.0, 1.0);
}

void AmbientLightSensor::close() {
    device_.reset();
    channel_.clear();
    type_.clear();
}

} // namespace quelmo::shared
