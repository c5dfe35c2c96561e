#include "setup/YtdlpInstaller.h"

#include "support/EventLoop.h"
#include "support/Files.h"
#include "shared/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace quelmo;

namespace {

// A release folder on 127.0.0.1: one answer per file name (a status line and body, or a
// connection that drops in the middle of the body), 404 for any other. Notes the names asked for.
class ReleaseServer {
public:
    struct Answer {
        QByteArray status = "200 OK";
        QByteArray body;
        bool dropMidway = false;
    };

    ReleaseServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                auto request = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
                    *request += socket->readAll();
                    if (request->contains("\r\n\r\n")) {
                        answer(socket, request->split(' ').value(1));
                    }
                });
            }
        });
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1/download/").arg(server_.serverPort()); }
    const QStringList& asked() const { return asked_; }

    QMap<QString, Answer> files;

private:
    void answer(QTcpSocket* socket, const QByteArray& path) {
        const QString name = QString::fromUtf8(path).section(u'/', -1);
        asked_.append(name);
        const Answer a = files.value(name, Answer{"404 Not Found", "Not Found", false});
        const qsizetype announced = a.dropMidway ? a.body.size() * 2 : a.body.size();
        socket->write("HTTP/1.1 " + a.status +
                      "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                      QByteArray::number(announced) + "\r\nConnection: close\r\n\r\n");
        socket->write(a.body);
        socket->disconnectFromHost();
    }
    QTcpServer server_;
    QStringList asked_;
};

QByteArray realProgram() { return quelmo::test::readFile(QStringLiteral("/bin/true")); }

QByteArray sumOf(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// A sums file in sha256sum's format that lists body as yt-dlp_linux among the other builds.
QByteArray sumsListing(const QByteArray& body) {
    return sumOf("mac") + "  yt-dlp_macos\n" + sumOf(body) + "  yt-dlp_linux\n" + sumOf("arm") +
           "  yt-dlp_linux_aarch64\n";
}

// The installer against stand-ins: a release server, a target in a temporary folder holding an
// old file (not a program, so yt-dlp is not found there yet), and pkexec, apt-get and brew
// stand-ins that note their command lines. The stand-in pkexec runs its command as the user,
// leaving out the change of owner only root may make, and notes what the standard input it hands
// to install(1) is and whether it could be written to.
struct InstallBench {
    QTemporaryDir dir;
    QString target = dir.filePath(QStringLiteral("bin/yt-dlp"));
    QString tools = dir.filePath(QStringLiteral("tools"));
    ReleaseServer server;
    YtdlpInstallerOptions options;

    InstallBench() {
        quelmo::test::writeFile(target, "old");
        stub(QStringLiteral("pkexec"), QStringLiteral(R"(if [ "$1" = /usr/bin/install ]; then
    { readlink /proc/self/fd/0; if printf x >>/dev/stdin 2>/dev/null; then echo writable; else echo sealed; fi; } >'{dir}/input'
    exec /usr/bin/install -m 0755 -T /dev/stdin "${@: -1}"
fi
exec "$@")"));
        options.releaseBase = server.base();
        options.asset = QStringLiteral("yt-dlp_linux");
        options.installTarget = target;
        options.pkexec = tools + QStringLiteral("/pkexec");
        options.aptGet = tools + QStringLiteral("/apt-get");
        options.install = QStringLiteral("/usr/bin/install");
        const QStringList folders{QFileInfo(target).absolutePath(), tools};
        options.locator = [folders] { return YtdlpLocator::inDirectories(folders); };
    }
    void publish(const QByteArray& program, const QByteArray& sums) {
        server.files[QStringLiteral("yt-dlp_linux")].body = program;
        server.files[QStringLiteral("SHA2-256SUMS")].body = sums;
    }
    // Runs the installer to its end; nullopt when it never reported.
    std::optional<bool> install() {
        YtdlpInstaller installer(options);
        std::optional<bool> outcome;
        installer.install([&](bool ok) { outcome = ok; });
        quelmo::test::spinUntil([&] { return outcome.has_value(); }, 10'000);
        EXPECT_FALSE(installer.isRunning());
        report = installer.failureReport();
        return outcome;
    }
    // A stand-in that notes "name arguments" in calls, then runs body.
    void stub(const QString& name, const QString& body) const {
        QString script = QStringLiteral("#!/bin/bash\necho \"%1 $*\" >>'{dir}/calls'\n%2\n").arg(name, body);
        quelmo::test::writeProgram(tools + u'/' + name, script.replace(QStringLiteral("{dir}"), dir.path()).toUtf8());
    }
    QString read(const QString& name) const {
        return QString::fromUtf8(quelmo::test::readFile(dir.filePath(name))).trimmed();
    }
    QStringList calls() const { return read(QStringLiteral("calls")).split(u'\n', Qt::SkipEmptyParts); }
    QByteArray targetContent() const { return quelmo::test::readFile(target); }
    QStringList targetFolder() const {
        return QDir(QFileInfo(target).absolutePath())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QString report;
};

} // namespace

TEST(YtdlpInstaller, PutsTheVerifiedBuildInPlaceWithInstallAsRoot) {
    InstallBench b;
    b.publish(realProgram(), sumsListing(realProgram()));
    EXPECT_EQ(b.install(), true) << b.report.toStdString();
    EXPECT_EQ(b.targetContent(), realProgram());
    EXPECT_EQ(int(QFileInfo(b.target).permissions()), 0x7755) << "rwxr-xr-x";
    EXPECT_EQ(b.targetFolder(), QStringList{"yt-dlp"});
    EXPECT_EQ(b.server.asked().join(u' ').toStdString(), "SHA2-256SUMS yt-dlp_linux");

    // One privileged program with plain arguments, by absolute path; what it copies is its standard
    // input, the checked bytes sealed in memory, which nobody can change any more.
    EXPECT_EQ(b.calls().join(u'\n').toStdString(),
              ("pkexec /usr/bin/install -m 0755 -o root -g root -T /dev/stdin " + b.target).toStdString());
    EXPECT_EQ(b.read(QStringLiteral("input")).toStdString(), "/memfd:yt-dlp (deleted)\nsealed");

    // Without pkexec, for a target the user may write: the same install(1), as the user.
    InstallBench direct;
    direct.options.pkexec.clear();
    direct.publish(realProgram(), sumsListing(realProgram()));
    EXPECT_EQ(direct.install(), true) << direct.report.toStdString();
    EXPECT_EQ(direct.targetContent(), realProgram());
}

TEST(YtdlpInstaller, RefusesAnythingButTheProgramWhoseSumIsPublished) {
    QByteArray script = "#!/bin/sh\necho pwned >/tmp/quelmo-pwned\n" + QByteArray(2000, '#');
    QByteArray otherProgram = realProgram();
    otherProgram[otherProgram.size() / 2] = char(otherProgram[otherProgram.size() / 2] ^ 1);
    const QByteArray tinyElf = "\x7f"
                               "ELF" +
                               QByteArray(100, '\0');
    struct Case {
        const char* what;
        QByteArray program;
        QByteArray sums;
        QString reason;
        QByteArray programStatus = "200 OK";
        QByteArray sumsStatus = "200 OK";
        bool dropMidway = false;
    };
    const Case cases[] = {
        {"a program whose sum does not match", otherProgram, sumsListing(realProgram()),
         QString::fromLatin1("yt-dlp_linux does not match the SHA-256 sum published for it (published " +
                             sumOf(realProgram()) + ", received " + sumOf(otherProgram) + ")")},
        {"a script, even with its sum published", script, sumsListing(script),
         QStringLiteral("the download (%1 bytes) is not a Linux program").arg(script.size())},
        {"a tiny ELF", tinyElf, sumsListing(tinyElf), "the download (104 bytes) is not a Linux program"},
        {"an empty body", "", sumsListing(""), "the download is empty"},
        {"no sum for this build", realProgram(), sumOf(realProgram()) + "  yt-dlp_macos\n",
         "SHA2-256SUMS gives no SHA-256 sum for yt-dlp_linux"},
        {"a malformed sum", realProgram(), "abc  yt-dlp_linux\n",
         "SHA2-256SUMS gives no SHA-256 sum for yt-dlp_linux"},
        {"no sums file", realProgram(), "Not Found", "SHA2-256SUMS: the server answered HTTP 404", "200 OK",
         "404 Not Found"},
        {"the program not found", "<html>Not Found</html>", sumsListing(realProgram()),
         "yt-dlp_linux: the server answered HTTP 404", "404 Not Found"},
        {"a dropped connection", realProgram(), sumsListing(realProgram()), "yt-dlp_linux: ", "200 OK",
         "200 OK", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallBench b;
        b.publish(c.program, c.sums);
        b.server.files[QStringLiteral("yt-dlp_linux")].status = c.programStatus;
        b.server.files[QStringLiteral("yt-dlp_linux")].dropMidway = c.dropMidway;
        b.server.files[QStringLiteral("SHA2-256SUMS")].status = c.sumsStatus;
        ScopedLogCapture log;
        EXPECT_EQ(b.install(), false);
        EXPECT_TRUE(b.report.startsWith("Binary download failed: " + c.reason)) << b.report.toStdString();
        EXPECT_EQ(log.lines(), std::vector<QString>{b.report});
        EXPECT_TRUE(b.calls().isEmpty()) << "nothing ran as root: " << b.calls().join(u'\n').toStdString();
        EXPECT_EQ(b.targetContent(), "old");
        EXPECT_EQ(b.targetFolder(), QStringList{"yt-dlp"});
    }
}

TEST(YtdlpInstaller, TheDebianPackageComesFirstThenHomebrewThenTheDownload) {
    ScopedLogCapture log;
    // apt-get and brew "install" by putting a program where the locator looks.
    const QString installs = QStringLiteral("cp /bin/true '{dir}/tools/yt-dlp'");
    InstallBench apt;
    apt.stub(QStringLiteral("apt-get"), installs);
    apt.stub(QStringLiteral("brew"), installs);
    EXPECT_EQ(apt.install(), true) << apt.report.toStdString();
    EXPECT_EQ(apt.calls().join(u'\n').toStdString(),
              ("pkexec " + apt.tools + "/apt-get install -y yt-dlp ffmpeg\napt-get install -y yt-dlp ffmpeg")
                  .toStdString());
    EXPECT_TRUE(apt.server.asked().isEmpty());

    // A dismissed password prompt: Homebrew, as the user, next.
    InstallBench brew;
    brew.stub(QStringLiteral("pkexec"),
              QStringLiteral("echo 'Error executing command as another user: Request dismissed'; exit 126"));
    brew.stub(QStringLiteral("apt-get"), installs);
    brew.stub(QStringLiteral("brew"), installs);
    EXPECT_EQ(brew.install(), true) << brew.report.toStdString();
    EXPECT_EQ(
        brew.calls().join(u'\n').toStdString(),
        ("pkexec " + brew.tools + "/apt-get install -y yt-dlp ffmpeg\nbrew install yt-dlp").toStdString());
    EXPECT_EQ(brew.report.toStdString(), "Package install failed: exit status 126: Error executing command "
                                         "as another user: Request dismissed");

    // Tools that end well but leave no yt-dlp the locator finds do not count: the download follows.
    InstallBench download;
    download.stub(QStringLiteral("apt-get"), {});
    download.stub(QStringLiteral("brew"), {});
    download.publish(realProgram(), sumsListing(realProgram()));
    EXPECT_EQ(download.install(), true) << download.report.toStdString();
    EXPECT_EQ(download.report.toStdString(), "Package install failed: yt-dlp is still not found\n"
                                             "Homebrew install failed: yt-dlp is still not found");
    EXPECT_EQ(download.targetContent(), realProgram());
}
