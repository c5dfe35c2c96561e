#pragma once

#include "setup/ShellResult.h"
#include "setup/YtdlpLocator.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace quelmo {

// The yt-dlp project's Linux build for this machine's processor: "yt-dlp_linux" on x86_64,
// "yt-dlp_linux_aarch64" on arm64; empty when the project publishes none for it.
QString defaultYtdlpAsset();

// The command a user types to install yt-dlp by hand, shown wherever Quelmo explains how:
// "sudo apt install yt-dlp ffmpeg".
QString manualYtdlpInstallCommand();

struct YtdlpInstallerOptions {
    // The release's folder: the asset and its sums file, SHA2-256SUMS, are both fetched from here.
    QString releaseBase = QStringLiteral("https://github.com/yt-dlp/yt-dlp/releases/latest/download/");
    QString asset = defaultYtdlpAsset();
    QString installTarget = QStringLiteral("/usr/local/bin/yt-dlp");
    // The programs of the privileged steps, by absolute path: never looked up on a PATH that the
    // user, or anything running as the user, can change. An empty pkexec runs both steps without
    // it, as the user, for a target the user may write.
    QString pkexec = QStringLiteral("/usr/bin/pkexec");
    QString aptGet = QStringLiteral("/usr/bin/apt-get");
    QString install = QStringLiteral("/usr/bin/install");
    // Where yt-dlp is looked for, asked afresh at each look; brew is looked for in its folders.
    std::function<YtdlpLocator()> locator = &YtdlpLocator::fromEnvironment;
};

// The one-click installer of yt-dlp, for the deck and the setup screen. Nothing is tried when the
// locator already finds yt-dlp; otherwise, in order, until one works:
//   1. the Debian package: "pkexec apt-get install -y yt-dlp ffmpeg" behind the desktop's password
//      prompt, when apt-get and pkexec are there;
//   2. "brew install yt-dlp", as the user, when Homebrew is in the locator's folders;
//   3. the project's own build. SHA2-256SUMS, then the asset, come from releaseBase; the asset is
//      taken only when it is an ELF program of at least 1 KiB whose SHA-256 sum is the one the sums
//      file gives for it. The checked bytes are sealed in memory and put at installTarget by
//      "pkexec install -m 0755 -o root -g root -T /dev/stdin <installTarget>", reading them as its
//      standard input; see docs/decisions/0015-installing-yt-dlp.md. Any failure before that step
//      leaves installTarget as it was. A download that receives nothing for 60 s is abandoned.
// A step counts only when it ends well AND the locator then finds yt-dlp, so "installed" always
// means the deck can run it. Failures are logged as "Package install failed: <reason>",
// "Homebrew install failed: <reason>" and "Binary download failed: <reason>".
//
// Everything runs on the calling thread's event loop; nothing blocks. A call while an install runs
// joins it and receives its result. An installer destroyed mid-way calls nobody.
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
    void tryPackageManager();
    void tryHomebrew();
    void tryDownload();
    // Fetches url into body_, its SHA-256 sum into hash_, then calls then; refuses more than
    // limit bytes.
    void fetch(const QString& url, qint64 limit, void (YtdlpInstaller::*then)());
    void fetchFinished();
    void sumsFetched();
    void assetFetched();
    void placeDownload();
    void downloadFailed(const QString& reason);
    void finish(bool ok);
    void logFailure(const char* step, const QString& reason);

    bool toolPresent() const;
    // Starts program with arguments, input as its standard input, and calls then with its outcome,
    // on this thread.
    void run(const QStringList& commandLine, std::function<void(const ShellResult&)> then,
             const QString& input = QStringLiteral("/dev/null"));
    void closeSealed();

    YtdlpInstallerOptions options_;
    std::vector<std::function<void(bool)>> waiting_;
    QStringList failures_;
    QNetworkAccessManager* network_ = nullptr;
    QPointer<QNetworkReply> reply_;
    QString fetchedName_;
    qint64 fetchLimit_ = 0;
    void (YtdlpInstaller::*fetched_)() = nullptr;
    QByteArray body_;
    QCryptographicHash hash_{QCryptographicHash::Sha256};
    QByteArray expectedSum_;
    // The checked program, sealed in memory, while the step that places it runs; -1 otherwise.
    int sealed_ = -1;
};

} // namespace quelmo
