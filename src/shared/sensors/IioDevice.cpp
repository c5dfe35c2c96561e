#include "shared/sensors/IioDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace quelmo::shared {

std::vector<IioDevice> IioDevice::list(const QString& root) {
    const QDir dir(root);
    QStringList names = dir.entryList({QStringLiteral("iio:device*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    auto number = [](const QString& name) { return name.mid(int(sizeof "iio:device") - 1).toInt(); };
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return number(a) < number(b); });
    std::vector<IioDevice> devices;
    for (const QString& name : names) {
        devices.emplace_back(dir.filePath(name));
    }
    return devices;
}

IioDevice::IioDevice(QString path) : path_(std::move(path)) {
}

QString IioDevice::name() const {
    QFile file(path_ + QStringLiteral("/name"));
    if (file.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromUtf8(file.readAll()).trimmed();
        if (!name.isEmpty()) {
            return name;
        }
    }
    return QFileInfo(path_).fileName();
}

bool IioDevice::hasChannel(const QString& channel) const {
    return QFileInfo(path_ + '/' + channel + QStringLiteral("_input")).isFile() ||
           QFileInfo(path_ + '/' + channel + QStringLiteral("_raw")).isFile();
}

std::optional<double> IioDevice::readNumber(const QString& file) const {
    QFile f(path_ + '/' + file);
    if (!f.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = QString::fromLatin1(f.read(64)).trimmed().toDouble(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> IioDevice::readAttribute(const QString& channel, const QString& type,
                                               const QString& what) const {
    if (auto own = readNumber(channel + '_' + what)) {
        return own;
    }
    return readNumber(type + '_' + what);
}

std::optional<double> IioDevice::readChannelFile(const QString& channel) const {
    if (auto processed = readNumber(channel + QStringLiteral("_input"))) {
        return processed;
    }
    return readNumber(channel + QStringLiteral("_raw"));
}

bool IioDevice::isScaled(const QString& channel, const QString& type) const {
    return readAttribute(channel, type, QStringLiteral("scale")) ||
           readAttribute(channel, type, QStringLiteral("offset"));
}

std::optional<double> IioDevice::readChannel(const QString& channel, const QString& type) const {
    if (auto processed = readNumber(channel + QStringLiteral("_input"))) {
        return processed;
    }
    const auto raw = readNumber(channel + QStringLiteral("_raw"));
    if (!raw) {
        return std::nullopt;
    }
    const double offset = readAttribute(channel, type, QStringLiteral("offset")).value_or(0.0);
    const double scale = readAttribute(channel, type, QStringLiteral("scale")).value_or(1.0);
    return (*raw + offset) * scale;
}

} // namespace quelmo::shared
