#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace quelmo {

// Where yt-dlp lives: the one answer the setup screen, the deck's downloads and the installer all
// ask for, so none of them sees an install another misses. A locator is a list of candidate files,
// tried in order; the first that is an executable file is the one, and its absolute path is what
// runs.
//
// The places, in order: each absolute folder of PATH (relative entries, the current folder
// included, are skipped), then the fixed folders where installs land whether or not the session's
// PATH names them: ~/.local/bin (pip --user, pipx), /usr/local/bin (the installer's own download),
// /usr/bin (the Debian package) and /home/linuxbrew/.linuxbrew/bin (Homebrew on Linux).
class YtdlpLocator {
public:
    // The fixed folders after PATH's, for the home folder home.
    static QStringList fixedDirectories(const QString& home);
    // PATH's absolute folders (pathVariable, colon-separated), then fixedDirectories(home); each
    // folder once, at its first place.
    static QStringList searchDirectories(const QString& pathVariable, const QString& home);

    // "yt-dlp" in each folder of directories.
    static YtdlpLocator inDirectories(const QStringList& directories);
    // Exactly these files, whatever their names.
    static YtdlpLocator atPaths(const QStringList& files);
    // This process's locator, read afresh at each call: the files of QUELMO_YTDLP_PROBE_PATHS
    // (colon-separated) when that variable is set (the tests' way to decide alone what is
    // installed), otherwise searchDirectories(PATH, HOME).
    static YtdlpLocator fromEnvironment();

    const QStringList& candidates() const { return candidates_; }
    // The candidates' folders, each once, in order: a child process's PATH for programs that sit
    // beside yt-dlp (ffmpeg from the same package manager).
    QStringList directories() const;
    // The absolute path of the first candidate that is an executable file (symbolic links are
    // followed to decide, the path returned is the candidate's own); nothing when none is.
    std::optional<QString> find() const;

private:
    explicit YtdlpLocator(QStringList candidates) : candidates_(std::move(candidates)) {}
    QStringList candidates_;
};

// YtdlpLocator::fromEnvironment().find(): where this process finds yt-dlp now.
std::optional<QString> locateYtdlp();

} // namespace quelmo
