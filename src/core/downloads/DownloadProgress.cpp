#include "downloads/DownloadProgress.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <cmath>

namespace quelmo::downloads {
namespace {

QString stripPercentAndBlanks(const QString& piece) {
    const auto strip = [](QChar c) { return c == u'%' || c == u' ' || c == u'\t'; };
    qsizetype begin = 0;
    qsizetype end = piece.size();
    while (begin < end && strip(piece[begin])) {
        ++begin;
    }
    while (end > begin && strip(piece[end - 1])) {
        --end;
    }
    return piece.mid(begin, end - begin);
}

} // namespace

std::optional<DownloadProgress> interpretProgressLine(const QString& line) {
    if (line.contains(u'%')) {
        static const QRegularExpression whitespace(QStringLiteral("\\s+"));
        for (const QString& piece : line.split(whitespace, Qt::SkipEmptyParts)) {
            bool ok = false;
            const double percent = stripPercentAndBlanks(piece).toDouble(&ok);
            if (ok && percent >= 0.0 && percent <= 100.0) {
                return DownloadProgress{0.2 + percent / 100.0 * 0.7,
                                        QStringLiteral(u"⬇️ Downloading: %1%").arg(static_cast<int>(std::trunc(percent)))};
            }
        }
        return std::nullopt;
    }
    const QString lower = line.toLower();
    if (lower.contains(QLatin1String("converting")) || lower.contains(QLatin1String("destination"))) {
        return DownloadProgress{0.92, QStringLiteral(u"🎵 Converting to MP3...")};
    }
    return std::nullopt;
}

QString failureMessage(const QString& errorText, int exitStatus) {
    QStringList kept;
    for (const QString& line : errorText.split(u'\n')) {
        if (!line.trimmed().isEmpty()) {
            kept.append(line);
        }
    }
    for (auto it = kept.crbegin(); it != kept.crend(); ++it) {
        if (it->toLower().contains(QLatin1String("error"))) {
            return *it;
        }
    }
    if (!kept.isEmpty()) {
        return kept.last();
    }
    return QStringLiteral("yt-dlp exited with code %1").arg(exitStatus);
}

QString downloadDisplayName(const QString& fileName, const QString& token) {
    QString base = QFileInfo(fileName).completeBaseName();
    base.remove(token + u'.');
    if (base.isEmpty() || base.startsWith(token)) {
        return QStringLiteral("YouTube Track");
    }
    return base;
}

std::optional<QString> acceptedYoutubeAddress(const QString& text) {
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))) {
        return std::nullopt;
    }
    if (!url.userInfo().isEmpty()) {
        return std::nullopt;
    }
    const QString host = url.host().toLower();
    const bool youtube = host == QLatin1String("youtube.com") || host.endsWith(QLatin1String(".youtube.com")) ||
                         host == QLatin1String("youtu.be");
    if (!youtube) {
        return std::nullopt;
    }
    return trimmed;
}

} // namespace quelmo::downloads
