#include "setup/YtdlpInstallScript.h"

#include "setup/YtdlpPresence.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quelmo;

namespace {

// The install script run against stand-ins: PATH holds only a folder of our own with the basic
// tools it needs and the brew, apt-get, pkexec, curl and uname the test writes. Every stand-in
// notes its command line; pkexec runs its command as the user; the target is a temporary file.
struct ScriptBench {
    QTemporaryDir dir;
    QString bin = dir.filePath(QStringLiteral("bin"));
    QString target = dir.filePath(QStringLiteral("local/bin/yt-dlp"));
    QString tmp = dir.filePath(QStringLiteral("tmp"));

    ScriptBench() {
        QDir().mkpath(bin);
        QDir().mkpath(tmp);
        QDir().mkpath(QFileInfo(target).absolutePath());
        for (const char* tool : {"mktemp", "chmod", "mv", "cp", "rm", "mkdir", "cat"}) {
            const QString real = QStandardPaths::findExecutable(QString::fromLatin1(tool));
            EXPECT_TRUE(QFile::link(real, bin + u'/' + QString::fromLatin1(tool))) << tool;
        }
        stub(QStringLiteral("uname"), QStringLiteral("echo x86_64"));
    }

    void stub(const QString& name, const QString& body) const {
        QFile file(bin + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/bash\necho \"%1 $*\" >>'%2'\n%3\n").arg(name, callsFile(), body).toUtf8());
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // A curl that "downloads" the given file to its -o argument.
    void curlServing(const QString& source) const {
        stub(QStringLiteral("curl"), QStringLiteral("while [ $# -gt 0 ]; do [ \"$1\" = -o ] && out=$2; shift; done\n"
                                                    "/bin/cat '%1' >\"$out\"")
                                         .arg(source));
    }
    QString write(const QString& name, const QByteArray& content) const {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QString callsFile() const { return dir.filePath(QStringLiteral("calls")); }
    QStringList calls() const {
        QFile file(callsFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    ShellResult run() const {
        YtdlpInstallScript script;
        script.pathPrefix = bin;
        script.installTarget = target;
        script.releaseBase = QStringLiteral("https://releases.test/");
        QProcess process;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), bin);
        environment.insert(QStringLiteral("TMPDIR"), tmp);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        // Not a login shell here: the profile would put the machine's own programs on PATH.
        process.start(QStringLiteral("/bin/bash"),
                      QStringList{QStringLiteral("-c"), YtdlpInstallScript::text(), QStringLiteral("quelmo")} +
                          script.arguments());
        ShellResult result;
        result.launched = process.waitForFinished(20'000);
        result.exitCode = process.exitCode();
        result.output = QString::fromUtf8(process.readAll());
        return result;
    }
    QByteArray targetContent() const {
        QFile file(target);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QByteArray realProgram() {
    QFile file(QStringLiteral("/bin/true"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

} // namespace

TEST(YtdlpInstallScript, StopsAtOnceWhenTheToolIsThere) {
    ScriptBench b;
    b.write(QStringLiteral("local/bin/yt-dlp"), "old");
    b.stub(QStringLiteral("brew"), {});
    const ShellResult result = b.run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output.trimmed(), "already_installed");
    EXPECT_TRUE(b.calls().isEmpty()) << b.calls().join(u'\n').toStdString();

    ScriptBench onPath;
    onPath.stub(QStringLiteral("yt-dlp"), {});
    EXPECT_EQ(onPath.run().output.trimmed(), "already_installed");
}

TEST(YtdlpInstallScript, HomebrewFirstThenAptThroughAPasswordDialog) {
    ScriptBench brew;
    brew.stub(QStringLiteral("brew"), QStringLiteral("exit 0"));
    brew.stub(QStringLiteral("apt-get"), QStringLiteral("exit 0"));
    brew.stub(QStringLiteral("pkexec"), QStringLiteral("exec \"$@\""));
    EXPECT_EQ(brew.run().exitCode, 0);
    EXPECT_EQ(brew.calls(), QStringList{"brew install yt-dlp"});

    ScriptBench apt;
    apt.stub(QStringLiteral("brew"), QStringLiteral("echo 'Error: no bottle'; exit 1"));
    apt.stub(QStringLiteral("apt-get"), QStringLiteral("exit 0"));
    apt.stub(QStringLiteral("pkexec"), QStringLiteral("exec \"$@\""));
    const ShellResult result = apt.run();
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    EXPECT_EQ(apt.calls(), (QStringList{"brew install yt-dlp", "pkexec " + apt.bin + "/apt-get install -y yt-dlp ffmpeg",
                                        "apt-get install -y yt-dlp ffmpeg"}));
    EXPECT_TRUE(result.output.contains("Error: no bottle"));
}

TEST(YtdlpInstallScript, DownloadsTheBuildForThisProcessorAndPlacesItOnlyWhenItIsAProgram) {
    ScriptBench b;
    b.stub(QStringLiteral("uname"), QStringLiteral("echo aarch64"));
    b.stub(QStringLiteral("pkexec"), QStringLiteral("exec \"$@\""));
    b.curlServing(b.write(QStringLiteral("program"), realProgram()));
    const ShellResult result = b.run();
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    EXPECT_EQ(b.targetContent(), realProgram());
    EXPECT_EQ(int(QFileInfo(b.target).permissions()), 0x7755) << "rwxr-xr-x";
    const QStringList calls = b.calls();
    ASSERT_EQ(calls.size(), 3) << calls.join(u'\n').toStdString();
    EXPECT_TRUE(calls[1].startsWith("curl -fsSL -o ") && calls[1].endsWith(" https://releases.test/yt-dlp_linux_aarch64"))
        << calls[1].toStdString();
    EXPECT_TRUE(calls[2].startsWith("pkexec /bin/sh -c "));
    EXPECT_TRUE(QDir(b.tmp).isEmpty()) << "the download is removed";
    EXPECT_EQ(QDir(QFileInfo(b.target).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"yt-dlp"});
}

TEST(YtdlpInstallScript, EndsWithStatusOneAndItsReasonsWhenNothingWorks) {
    ScriptBench b;
    b.stub(QStringLiteral("brew"), QStringLiteral("exit 1"));
    b.stub(QStringLiteral("apt-get"), QStringLiteral("exit 100"));
    b.stub(QStringLiteral("pkexec"), QStringLiteral("exec \"$@\""));
    b.curlServing(b.write(QStringLiteral("page.html"), "<!DOCTYPE html><html>Not Found</html>"));
    const ShellResult result = b.run();
    EXPECT_EQ(result.exitCode, 1);
    for (const char* reason : {"Homebrew could not install yt-dlp.", "apt could not install yt-dlp.",
                               "The download is not a Linux program."}) {
        EXPECT_TRUE(result.output.contains(QString::fromUtf8(reason))) << reason << "\n" << result.output.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(b.target)) << "a web page is never installed";
    EXPECT_TRUE(QDir(b.tmp).isEmpty());
}
