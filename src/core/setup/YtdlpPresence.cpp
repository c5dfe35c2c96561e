#include "setup/YtdlpPresence.h"

#include "setup/SetupGate.h"

#include <QProcess>

namespace quelmo {

QString ShellResult::description() const {
    const QString trimmed = output.trimmed();
    return trimmed.isEmpty() ? error : trimmed;
}

ShellResult runShell(const QString& command, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Nothing may wait for typed input: a profile or tool that asks reads end-of-file instead.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("/bin/bash"),
                  QStringList{QStringLiteral("-l"), QStringLiteral("-c"), command, QStringLiteral("quelmo")} + arguments);
    ShellResult result;
    if (!process.waitForStarted(-1)) {
        result.error = process.errorString();
        return result;
    }
    result.launched = true;
    // QProcess drains the pipe into its own buffer while it waits, so a chatty child never stalls.
    process.waitForFinished(-1);
    result.output = QString::fromUtf8(process.readAll());
    if (process.exitStatus() == QProcess::CrashExit) {
        result.error = process.errorString();
    }
    result.exitCode = process.exitCode();
    return result;
}

QStringList ytdlpSetupProbePaths() {
    QStringList paths = SetupGate::defaultYtdlpProbePaths();
    paths.append(QStringLiteral("/home/linuxbrew/.linuxbrew/bin/yt-dlp"));
    return paths;
}

std::optional<QStringList> ytdlpProbePathsOverride() {
    if (!qEnvironmentVariableIsSet("QUELMO_YTDLP_PROBE_PATHS")) {
        return std::nullopt;
    }
    return qEnvironmentVariable("QUELMO_YTDLP_PROBE_PATHS").split(u':', Qt::SkipEmptyParts);
}

bool ytdlpIsInstalled() {
    if (const auto paths = ytdlpProbePathsOverride()) {
        return SetupGate::ytdlpQuickCheck(*paths);
    }
    // "which" answers with nothing and status 1 when it finds nothing; a login profile that prints
    // a greeting must not pass for a find, so the status counts too.
    const ShellResult which = runShell(QStringLiteral("which yt-dlp"));
    if (which.succeeded() && !which.output.trimmed().isEmpty()) {
        return true;
    }
    return SetupGate::ytdlpQuickCheck(ytdlpSetupProbePaths());
}

} // namespace quelmo
