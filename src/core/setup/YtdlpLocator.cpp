#include "setup/YtdlpLocator.h"

#include <QDir>
#include <QFileInfo>

namespace quelmo {

QStringList YtdlpLocator::fixedDirectories(const QString& home) {
    QStringList folders;
    if (QDir::isAbsolutePath(home)) {
        folders.append(QDir::cleanPath(home + QStringLiteral("/.local/bin")));
    }
    folders << QStringLiteral("/usr/local/bin") << QStringLiteral("/usr/bin")
            << QStringLiteral("/home/linuxbrew/.linuxbrew/bin");
    return folders;
}

QStringList YtdlpLocator::searchDirectories(const QString& pathVariable, const QString& home) {
    QStringList folders;
    auto add = [&folders](const QString& folder) {
        // A relative entry names a folder that depends on where the program was started from.
        if (!QDir::isAbsolutePath(folder)) {
            return;
        }
        const QString clean = QDir::cleanPath(folder);
        if (!folders.contains(clean)) {
            folders.append(clean);
        }
    };
    // Split keeping empty parts: an empty entry means the current folder, which is skipped too.
    for (const QString& folder : pathVariable.split(u':')) {
        add(folder);
    }
    for (const QString& folder : fixedDirectories(home)) {
        add(folder);
    }
    return folders;
}

YtdlpLocator YtdlpLocator::inDirectories(const QStringList& directories) {
    QStringList files;
    files.reserve(directories.size());
    for (const QString& folder : directories) {
        files.append(QDir::cleanPath(folder + QStringLiteral("/yt-dlp")));
    }
    return YtdlpLocator(std::move(files));
}

YtdlpLocator YtdlpLocator::atPaths(const QStringList& files) {
    return YtdlpLocator(files);
}

YtdlpLocator YtdlpLocator::fromEnvironment() {
    if (qEnvironmentVariableIsSet("QUELMO_YTDLP_PROBE_PATHS")) {
        return atPaths(qEnvironmentVariable("QUELMO_YTDLP_PROBE_PATHS").split(u':', Qt::SkipEmptyParts));
    }
    return inDirectories(searchDirectories(qEnvironmentVariable("PATH"), qEnvironmentVariable("HOME")));
}

QStringList YtdlpLocator::directories() const {
    QStringList folders;
    for (const QString& file : candidates_) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!folders.contains(folder)) {
            folders.append(folder);
        }
    }
    return folders;
}

std::optional<QString> YtdlpLocator::find() const {
    for (const QString& file : candidates_) {
        const QFileInfo info(file);
        if (info.isAbsolute() && info.isFile() && info.isExecutable()) {
            return QDir::cleanPath(file);
        }
    }
    return std::nullopt;
}

std::optional<QString> locateYtdlp() {
    return YtdlpLocator::fromEnvironment().find();
}

} // namespace quelmo
