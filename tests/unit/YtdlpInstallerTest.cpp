#include "setup/YtdlpInstaller.h"

#include "support/EventLoop.h"
#include "util/Log.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace quelmo;

namespace {

// One answer for every request, from a server on 127.0.0.1: a status line and body, or a
// connection that drops in the middle of the body.
class ReleaseServer {
public:
    ReleaseServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (request_.contains("\r\n\r\n")) {
                        answer(socket);
                    }
                });
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/yt-dlp_linux").arg(server_.serverPort()); }
    int requests() const { return requests_; }

    QByteArray status = "200 OK";
    QByteArray body;
    bool dropMidway = false;

private:
    void answer(QTcpSocket* socket) {
        request_.clear();
        ++requests_;
        const qsizetype announced = dropMidway ? body.size() * 2 : body.size();
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                      QByteArray::number(announced) + "\r\nConnection: close\r\n\r\n");
        socket->write(body);
        socket->disconnectFromHost();
    }
    QTcpServer server_;
    QByteArray request_;
    int requests_ = 0;
};

QByteArray realProgram() {
    QFile file(QStringLiteral("/bin/true"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

struct InstallBench {
    QTemporaryDir dir;
    QString target = dir.filePath(QStringLiteral("bin/yt-dlp"));
    QString searchPath = dir.filePath(QStringLiteral("path"));
    ReleaseServer server;

    InstallBench() {
        QDir().mkpath(QFileInfo(target).absolutePath());
        QDir().mkpath(searchPath);
        QFile old(target);
        EXPECT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    // Runs the installer to its end; nullopt when it never reported.
    std::optional<bool> install(const QStringList& elevate = {}) {
        const QStringList folders{QFileInfo(target).absolutePath(), searchPath};
        YtdlpInstaller installer({server.url(), target, elevate, [folders] { return YtdlpLocator::inDirectories(folders); }});
        std::optional<bool> outcome;
        installer.install([&](bool ok) { outcome = ok; });
        EXPECT_TRUE(installer.isRunning() || outcome);
        quelmo::test::spinUntil([&] { return outcome.has_value(); }, 10'000);
        EXPECT_FALSE(installer.isRunning());
        return outcome;
    }
    QByteArray targetContent() const {
        QFile file(target);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList targetFolder() const {
        return QDir(QFileInfo(target).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    void stub(const QString& name, const QByteArray& body) const {
        QFile file(searchPath + u'/' + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + "\n");
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

bool logged(const ScopedLogCapture& log, const std::string& prefix) {
    for (const auto& line : log.lines()) {
        if (line.rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(YtdlpInstaller, ReplacesTheTargetWithTheDownloadedProgramInOneStep) {
    InstallBench b;
    b.server.body = realProgram();
    // A Homebrew that fails first: logged, and the download still follows.
    b.stub(QStringLiteral("brew"), "echo 'Error: yt-dlp: no bottle available!'; exit 1");
    ScopedLogCapture log;
    EXPECT_EQ(b.install(), true);
    EXPECT_EQ(b.targetContent(), realProgram());
    EXPECT_TRUE(QFileInfo(b.target).isExecutable());
    EXPECT_EQ(b.targetFolder(), QStringList{"yt-dlp"}) << "no temporary file is left";
    EXPECT_TRUE(logged(log, "Homebrew install failed: exit status 1: Error: yt-dlp: no bottle available!"));
    EXPECT_FALSE(logged(log, "Binary download failed: "));
}

TEST(YtdlpInstaller, PrivilegedStepsRunThroughTheElevatingProgramAndAptComesBeforeTheDownload) {
    // /usr/bin/env stands in for pkexec: it runs the command it is given, as the user.
    InstallBench download;
    download.server.body = realProgram();
    EXPECT_EQ(download.install({QStringLiteral("/usr/bin/env")}), true);
    EXPECT_EQ(download.targetContent(), realProgram());
    EXPECT_EQ(int(QFileInfo(download.target).permissions()), 0x7755) << "rwxr-xr-x";
    EXPECT_EQ(download.targetFolder(), QStringList{"yt-dlp"});

    InstallBench apt;
    const QString args = apt.dir.filePath(QStringLiteral("apt-args"));
    apt.stub(QStringLiteral("apt-get"), "echo \"$0 $*\" >'" + args.toUtf8() + "'; cp /bin/true '" +
                                            apt.searchPath.toUtf8() + "/yt-dlp'");
    EXPECT_EQ(apt.install({QStringLiteral("/usr/bin/env")}), true);
    QFile called(args);
    ASSERT_TRUE(called.open(QIODevice::ReadOnly));
    EXPECT_EQ(called.readAll().trimmed(), (apt.searchPath + "/apt-get install -y yt-dlp ffmpeg").toUtf8());
    EXPECT_EQ(apt.server.requests(), 0) << "nothing is downloaded once apt has installed it";
}

TEST(YtdlpInstaller, KeepsTheOldTargetAndLogsWhyForEveryBadDownload) {
    struct Case {
        const char* what;
        QByteArray status;
        QByteArray body;
        bool dropMidway;
    };
    const Case cases[] = {
        {"not found", "404 Not Found", "<html><body>Not Found</body></html>", false},
        {"empty", "200 OK", "", false},
        {"a web page", "200 OK", "<!DOCTYPE html><html>" + QByteArray(4000, 'x') + "</html>", false},
        {"a tiny ELF", "200 OK", "\x7f" "ELF" + QByteArray(100, '\0'), false},
        {"dropped connection", "200 OK", realProgram().left(8192), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallBench b;
        b.server.status = c.status;
        b.server.body = c.body;
        b.server.dropMidway = c.dropMidway;
        ScopedLogCapture log;
        EXPECT_EQ(b.install(), false);
        EXPECT_EQ(b.targetContent(), "old");
        EXPECT_EQ(b.targetFolder(), QStringList{"yt-dlp"});
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_TRUE(logged(log, "Binary download failed: ")) << log.lines().front();
    }
}
