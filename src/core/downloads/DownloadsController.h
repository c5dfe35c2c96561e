#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace quelmo {

class YtdlpInstaller;

namespace downloads {
class YoutubeDownload;
} // namespace downloads

// YOUTUBE as the views see it (deck.downloads): the address field, one download at a time into
// the downloads folder with its progress and status, and yt-dlp's set-up state (found or not, the
// install alert, the one-click install and the command to type instead).
//
// Main thread only. yt-dlp runs as a child process whose output arrives here line by line; the
// installer runs its steps on the main event loop.
class DownloadsController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString youtubeURL READ youtubeURL WRITE setYoutubeURL NOTIFY youtubeURLChanged)
    Q_PROPERTY(bool isDownloading READ isDownloading WRITE setIsDownloading NOTIFY isDownloadingChanged)
    Q_PROPERTY(double downloadProgress READ downloadProgress WRITE setDownloadProgress NOTIFY downloadProgressChanged)
    Q_PROPERTY(QString downloadStatus READ downloadStatus WRITE setDownloadStatus NOTIFY downloadStatusChanged)
    Q_PROPERTY(bool showYTDLPInstallAlert READ showYTDLPInstallAlert WRITE setShowYTDLPInstallAlert NOTIFY showYTDLPInstallAlertChanged)
    Q_PROPERTY(bool isInstallingYTDLP READ isInstallingYTDLP WRITE setIsInstallingYTDLP NOTIFY isInstallingYTDLPChanged)
    // Whether yt-dlp was found at the last look (refreshYtdlpCheck); the YouTube block switches on it.
    Q_PROPERTY(bool ytdlpInstalled READ ytdlpInstalled NOTIFY ytdlpInstalledChanged)
    // "sudo apt install yt-dlp ffmpeg"
    Q_PROPERTY(QString installCommand READ installCommand CONSTANT)

public:
    struct Dependencies {
        QString folder; // the downloads folder, made when the first download starts
        // A download finished: the file joins the track list, selected. displayName is the
        // video's title as yt-dlp wrote it.
        std::function<void(const QString& path, const QString& displayName)> addDownloadedTrack;
        // The install may ask for the password in a window of the desktop's: while it is open,
        // what is typed there is not for the deck.
        std::function<void(const QString& window, bool open)> outsideWindow;
    };

    explicit DownloadsController(Dependencies dependencies, QObject* parent = nullptr);
    ~DownloadsController() override;

    // Validates youtubeURL and runs yt-dlp on it into the downloads folder; the file it writes
    // joins the list, selected. One download at a time.
    Q_INVOKABLE void downloadYouTubeAudio();
    // Ends the running download and removes its files; the status reads "Download cancelled".
    Q_INVOKABLE void cancelDownload();
    // True when yt-dlp is found where the whole application looks for it (locateYtdlp()).
    Q_INVOKABLE bool checkYTDLPIsInstalled() const;
    // Looks again and updates ytdlpInstalled; the view calls it when the window becomes active.
    Q_INVOKABLE void refreshYtdlpCheck();
    // The one-click install behind the install alert's "Auto-Install".
    Q_INVOKABLE void autoInstallYTDLP();

    // The deck's shutdown: yt-dlp ends and what it left is removed; an install stops.
    void shutdown();

    QString installCommand() const;
    bool ytdlpInstalled() const { return ytdlpInstalled_; }
    QString youtubeURL() const { return youtubeURL_; }
    void setYoutubeURL(const QString& value);
    bool isDownloading() const { return isDownloading_; }
    void setIsDownloading(bool value);
    double downloadProgress() const { return downloadProgress_; }
    void setDownloadProgress(double value);
    QString downloadStatus() const { return downloadStatus_; }
    void setDownloadStatus(const QString& value);
    bool showYTDLPInstallAlert() const { return showYTDLPInstallAlert_; }
    void setShowYTDLPInstallAlert(bool value);
    bool isInstallingYTDLP() const { return isInstallingYTDLP_; }
    void setIsInstallingYTDLP(bool value);

signals:
    void youtubeURLChanged();
    void isDownloadingChanged();
    void downloadProgressChanged();
    void downloadStatusChanged();
    void showYTDLPInstallAlertChanged();
    void isInstallingYTDLPChanged();
    void ytdlpInstalledChanged();

private:
    void performYouTubeDownload(const QString& address);
    void finishDownload(int exitStatus, const QString& errorText);
    void endDownload();

    Dependencies dependencies_;
    QString youtubeURL_;
    bool isDownloading_ = false;
    double downloadProgress_ = 0.0;
    QString downloadStatus_;
    bool showYTDLPInstallAlert_ = false;
    bool isInstallingYTDLP_ = false;
    bool ytdlpInstalled_ = false;
    std::unique_ptr<downloads::YoutubeDownload> download_;
    std::unique_ptr<YtdlpInstaller> installer_;
};

} // namespace quelmo
