#pragma once

#include <QString>
#include <QStringList>

namespace quelmo {

// The setup screen's installer: a bash script run by a login shell, tried step by step, each step
// ending the script as soon as it succeeds:
//   1. the places in pathPrefix go in front of PATH;
//   2. yt-dlp already on PATH, or a file at installTarget: prints "already_installed", exit 0;
//   3. Homebrew present: "brew install yt-dlp";
//   4. apt-get present (Debian and its family): "pkexec apt-get install -y yt-dlp ffmpeg", which
//      asks for the password in a desktop dialog, no terminal needed;
//   5. the yt-dlp project's own Linux build for this machine (yt-dlp_linux on x86_64,
//      yt-dlp_linux_aarch64 on aarch64) fetched with curl into a temporary file, accepted only
//      when it is an ELF executable, and put in place through pkexec: copied to a temporary name
//      beside installTarget, made executable, renamed over it in one step;
//   6. exit 1.
// Its output says what it tried; the screen shows it when the install fails.
struct YtdlpInstallScript {
    QString pathPrefix = QStringLiteral("/home/linuxbrew/.linuxbrew/bin:/usr/local/bin:/usr/bin:/bin");
    QString installTarget = QStringLiteral("/usr/local/bin/yt-dlp");
    // The asset's name is appended to this.
    QString releaseBase = QStringLiteral("https://github.com/yt-dlp/yt-dlp/releases/latest/download/");

    // The script's text; it takes the values above, then placeCommand(), as its arguments.
    static QString text();
    QStringList arguments() const { return {pathPrefix, installTarget, releaseBase, placeCommand()}; }

    // "sh -c" text, run with root rights, that puts the file $1 at $2 in one step: it copies it to
    // a temporary name in $2's folder, makes it executable (755) and renames it over $2, so $2 is
    // never seen half written and stays as it was on any failure.
    static QString placeCommand();
};

} // namespace quelmo
