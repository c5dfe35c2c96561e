#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quelmo {

// What a child process left behind: whether it started, its exit status and its standard output
// and standard error merged in the order they were written.
struct ShellResult {
    bool launched = false;
    int exitCode = -1;
    QString output;
    // Why it did not start or did not exit normally; empty otherwise.
    QString error;

    bool succeeded() const { return launched && error.isEmpty() && exitCode == 0; }
    // The output, or the error when there is no output.
    QString description() const;
};

// Runs command through a login shell ("/bin/bash -l -c command"), so the PATH of the user's profile
// applies, and waits for it; arguments reach the command as $1, $2, ... Blocks: call it off the main
// thread. The command is always one of ours, never text a user typed.
ShellResult runShell(const QString& command, const QStringList& arguments = {});

// The places the setup screen looks for yt-dlp when the shell does not know it, in order.
QStringList ytdlpSetupProbePaths();

// QUELMO_YTDLP_PROBE_PATHS (colon-separated), when set: the probe paths that replace the standard
// ones. It exists for tests, so that the machine's own yt-dlp stays out of sight.
std::optional<QStringList> ytdlpProbePathsOverride();

// The setup screen's presence test: "which yt-dlp" in a login shell names a program, or a file
// exists at one of ytdlpSetupProbePaths(). When QUELMO_YTDLP_PROBE_PATHS is set, only its paths
// are tested and the shell is not asked, so a test decides alone what is installed. Blocks.
bool ytdlpIsInstalled();

} // namespace quelmo
