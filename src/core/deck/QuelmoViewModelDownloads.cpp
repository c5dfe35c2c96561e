#include "deck/QuelmoViewModel.h"

namespace quelmo {

void QuelmoViewModel::setYoutubeURL(const QString& value) {
    assign(youtubeURL_, value, &QuelmoViewModel::youtubeURLChanged);
}

void QuelmoViewModel::setIsDownloading(bool value) {
    assign(isDownloading_, value, &QuelmoViewModel::isDownloadingChanged);
}

void QuelmoViewModel::setDownloadProgress(double value) {
    assign(downloadProgress_, value, &QuelmoViewModel::downloadProgressChanged);
}

void QuelmoViewModel::setDownloadStatus(const QString& value) {
    assign(downloadStatus_, value, &QuelmoViewModel::downloadStatusChanged);
}

void QuelmoViewModel::setShowYTDLPInstallAlert(bool value) {
    assign(showYTDLPInstallAlert_, value, &QuelmoViewModel::showYTDLPInstallAlertChanged);
}

void QuelmoViewModel::setIsInstallingYTDLP(bool value) {
    assign(isInstallingYTDLP_, value, &QuelmoViewModel::isInstallingYTDLPChanged);
}

void QuelmoViewModel::loadSavedDownloads() {
    // Restores the downloads library from its manifest once the library lands.
}

} // namespace quelmo
