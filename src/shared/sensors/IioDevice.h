#pragma once

#include <QString>

#include <optional>
#include <vector>

namespace quelmo::shared {

// Where the kernel lists its industrial-I/O devices (accelerometers, light and angle sensors).
inline constexpr char defaultIioRoot[] = "/sys/bus/iio/devices";

// One device directory under an IIO root ("iio:device0", ...). Reads its channel files the way the
// kernel's IIO ABI defines them: a processed "<channel>_input", or "<channel>_raw" with an optional
// offset and scale, each given per channel ("in_accel_x_scale") or per type ("in_accel_scale"):
// value = (raw + offset) * scale.
class IioDevice {
public:
    // The devices under root in the kernel's order (device2 before device10); empty when root is
    // missing or unreadable.
    static std::vector<IioDevice> list(const QString& root);

    explicit IioDevice(QString path);

    const QString& path() const { return path_; }
    // The driver's name from the "name" file, else the directory name.
    QString name() const;
    // Whether the channel has a value file ("_input" or "_raw").
    bool hasChannel(const QString& channel) const;
    // The channel's value in the kernel's units; none when it is missing or does not read as a
    // number. type is the channel's type prefix for shared scale/offset files ("in_accel").
    std::optional<double> readChannel(const QString& channel, const QString& type) const;
    // The number written in the channel's value file as it stands, without offset or scale.
    std::optional<double> readChannelFile(const QString& channel) const;
    // Whether the channel reads through a scale or offset file (rather than a bare value).
    bool isScaled(const QString& channel, const QString& type) const;

private:
    std::optional<double> readNumber(const QString& file) const;
    std::optional<double> readAttribute(const QString& channel, const QString& type,
                                        const QString& what) const;

    QString path_;
};

} // namespace quelmo::shared
