#include "SymbolIcons.h"

#include "HexColor.h"

#include <QDirIterator>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QStandardPaths>
#include <QSvgRenderer>

#include <optional>

namespace quelmo {

QString themeIconForSymbol(const QString& symbol) {
    static const QHash<QString, QString> map{
        {"waveform.circle.fill", "audio-x-generic-symbolic"},
        {"waveform", "audio-x-generic-symbolic"},
        {"waveform.path", "audio-input-microphone-symbolic"},
        {"keyboard", "input-keyboard-symbolic"},
        {"arrow.counterclockwise", "view-refresh-symbolic"},
        {"arrow.uturn.backward", "edit-undo-symbolic"},
        {"play.fill", "media-playback-start-symbolic"},
        {"pause.fill", "media-playback-pause-symbolic"},
        {"stop.fill", "media-playback-stop-symbolic"},
        {"music.note.list", "view-list-symbolic"},
        {"music.note", "emblem-music-symbolic"},
        {"plus.circle.fill", "list-add-symbolic"},
        {"play.rectangle.fill", "video-x-generic-symbolic"},
        {"speaker.fill", "audio-volume-medium-symbolic"},
        {"speaker.wave.1", "audio-volume-low-symbolic"},
        {"speaker.wave.2", "audio-volume-medium-symbolic"},
        {"speaker.wave.3", "audio-volume-high-symbolic"},
        {"metronome", "alarm-symbolic"},
        {"timer", "alarm-symbolic"},
        {"dot.radiowaves.left.and.right", "network-wireless-symbolic"},
        {"dot.radiowaves.forward", "network-wireless-signal-good-symbolic"},
        {"megaphone.fill", "audio-speakers-symbolic"},
        {"clock.arrow.2.circlepath", "media-playlist-repeat-symbolic"},
        {"arrow.triangle.2.circlepath", "media-playlist-repeat-symbolic"},
        {"slider.vertical.3", "preferences-other-symbolic"},
        {"flame", "weather-clear-symbolic"},
        {"gauge.with.dots.needle.67percent", "power-profile-performance-symbolic"},
        {"wind", "weather-windy-symbolic"},
        {"dot.scope", "find-location-symbolic"},
        {"mappin.circle", "mark-location-symbolic"},
        {"cpu", "computer-symbolic"},
        {"trash", "user-trash-symbolic"},
        {"doc.on.doc", "edit-copy-symbolic"},
        {"arrow.down.circle.fill", "folder-download-symbolic"},
        {"exclamationmark.triangle.fill", "dialog-warning-symbolic"},
        {"exclamationmark.circle.fill", "emblem-important-symbolic"},
        {"xmark.circle.fill", "window-close-symbolic"},
        {"checkmark.circle.fill", "emblem-ok-symbolic"},
        {"checkmark", "object-select-symbolic"},
        {"arrow.right", "go-next-symbolic"},
        {"arrow.clockwise", "view-refresh-symbolic"},
        {"chevron.left", "go-previous-symbolic"},
        {"arrow.up.circle.fill", "go-up-symbolic"},
        {"chevron.right", "go-next-symbolic"},
        {"slider.horizontal.3", "preferences-other-symbolic"},
        {"waveform.path.ecg", "audio-x-generic-symbolic"},
    };
    return map.value(symbol);
}

QString themeIconFile(const QString& themeIcon) {
    // Image providers may be asked from a loader thread.
    static QMutex mutex;
    static std::optional<QHash<QString, QString>> files; // icon name -> its file
    if (themeIcon.isEmpty()) {
        return {};
    }
    QMutexLocker lock(&mutex);
    if (!files) {
        // One walk of the theme for every icon, the first file of a name kept: a walk per icon
        // held the first frame for several milliseconds per icon.
        files.emplace();
        for (const QString& base : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            QDirIterator it(base + "/icons/Adwaita/scalable", {QStringLiteral("*.svg")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                const QString name = it.fileInfo().completeBaseName();
                if (!files->contains(name)) {
                    files->insert(name, file);
                }
            }
        }
    }
    return files->value(themeIcon);
}

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const qsizetype slash = id.lastIndexOf(u'/');
    const QString symbol = slash < 0 ? id : id.left(slash);
    const QColor tint = slash < 0 ? QColor(Qt::white) : hexColor(id.mid(slash + 1));
    const QSize out = requestedSize.isValid() && !requestedSize.isEmpty() ? requestedSize : QSize(32, 32);
    QImage image(out, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(themeIconFile(themeIconForSymbol(symbol)));
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    if (size) {
        *size = out;
    }
    return image;
}

} // namespace quelmo
