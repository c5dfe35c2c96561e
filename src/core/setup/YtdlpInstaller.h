#pragma once

#include "setup/ShellResult.h"
#include "setup/YtdlpLocator.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QTemporaryFile;

namespace quelmo {

// The yt-dlp project's latest Linux build for this machine's processor (yt-dlp_linux on x86_64,
// yt-dlp_linux_aarch64 on arm64); empty when the project publishes none for it.
QString defaultYtdlpReleaseUrl();

struct YtdlpInstallerOptions {
    QString releaseUrl = defaultYtdlpReleaseUrl();
    QString installTarget = QStringLiteral("/usr/local/bin/yt-dlp");
    // Prefix for the privileged steps (a desktop password prompt); empty runs them directly.
    QStringList elevate = {QStringLiteral("pkexec")};
    // Where yt-dlp is looked for, asked afresh at each look; its folders are where brew, apt-get
    // and the elevating program are looked for.
    std::function<YtdlpLocator()> locator = &YtdlpLocator::fromEnvironment;
};

// The deck's one-click installer of yt-dlp. Tries, in order, until one works:
//   1. "brew install yt-dlp" when Homebrew is on the search path;
//   2. "pkexec apt-get install -y yt-dlp ffmpeg" when apt-get is;
//   3. the project's binary, downloaded, checked (HTTP 2xx, an ELF program of at least 1 KiB or a
//      "#!" script) and renamed over installTarget in one step, with the elevating program's help
//      when elevate is given. Any failure leaves the old installTarget as it was. A download that
//      receives nothing for 60 s is abandoned.
// Nothing is tried when the locator already finds yt-dlp. A step counts when it ends well AND the
// locator then finds yt-dlp, so "installed" always means the deck can run it. Failures are logged as "Homebrew install failed: <reason>", "Package install failed:
// <reason>" and "Binary download failed: <reason>".
//
// Everything runs on the calling (main) thread's event loop; nothing blocks. A call while an
// install runs joins it and receives its result. An installer destroyed mid-way calls nobody.
class YtdlpInstaller : public QObject {
    Q_OBJECT

public:
    explicit YtdlpInstaller(YtdlpInstallerOptions options = {}, QObject* parent = nullptr);
    ~YtdlpInstaller() override;

    void install(std::function<void(bool ok)> done);
    bool isRunning() const { return !waiting_.empty(); }
    // The failure lines of the latest install, one a line, as they were logged.
    QString failureReport() const { return failures_.join(u'\n'); }

private:
    void tryHomebrew();
    void tryPackageManager();
    void tryDownload();
    void downloadFailed(const QString& reason);
    void downloadFinished();
    void placeDownload();
    void finish(bool ok);
    void logFailure(const char* step, const QString& reason);

    QString findProgram(const QString& name) const;
    bool toolPresent() const;
    // Starts program with arguments and calls then with its outcome, on this thread.
    void run(const QStringList& commandLine, std::function<void(const ShellResult&)> then);

    YtdlpInstallerOptions options_;
    std::vector<std::function<void(bool)>> waiting_;
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<QTemporaryFile> download_;
    QByteArray head_;
    QStringList failures_;
};

} // namespace quelmo
