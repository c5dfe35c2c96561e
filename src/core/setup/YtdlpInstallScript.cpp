#include "setup/YtdlpInstallScript.h"

namespace quelmo {

QString YtdlpInstallScript::text() {
    // $1: places to put in front of PATH, $2: where the binary goes, $3: the release download base,
    // $4: placeCommand().
    return QStringLiteral(R"SCRIPT(
export PATH="$1:$PATH"
target=$2
release=$3
place=$4

if command -v yt-dlp >/dev/null 2>&1 || [ -e "$target" ]; then
    echo "already_installed"
    exit 0
fi

if command -v brew >/dev/null 2>&1; then
    echo "Installing yt-dlp with Homebrew…"
    brew install yt-dlp && exit 0
    echo "Homebrew could not install yt-dlp."
fi

if command -v apt-get >/dev/null 2>&1 && command -v pkexec >/dev/null 2>&1; then
    echo "Installing yt-dlp and ffmpeg with apt…"
    pkexec "$(command -v apt-get)" install -y yt-dlp ffmpeg && exit 0
    echo "apt could not install yt-dlp."
fi

case "$(uname -m)" in
    x86_64 | amd64) asset=yt-dlp_linux ;;
    aarch64 | arm64) asset=yt-dlp_linux_aarch64 ;;
    *) asset= ;;
esac
if [ -z "$asset" ]; then
    echo "No yt-dlp build is published for this machine ($(uname -m))."
elif ! command -v curl >/dev/null 2>&1 || ! command -v pkexec >/dev/null 2>&1; then
    echo "Downloading yt-dlp needs curl and pkexec."
else
    echo "Downloading $asset…"
    download=$(mktemp) || exit 1
    magic=
    if ! curl -fsSL -o "$download" "$release$asset"; then
        echo "The download of $asset failed."
    else
        LC_ALL=C IFS= read -r -n 4 magic <"$download"
        if [ "$magic" != $'\x7fELF' ]; then
            echo "The download is not a Linux program."
        elif pkexec /bin/sh -c "$place" sh "$download" "$target"; then
            rm -f "$download"
            exit 0
        else
            echo "Could not write $target."
        fi
    fi
    rm -f "$download"
fi
exit 1
)SCRIPT");
}

QString YtdlpInstallScript::placeCommand() {
    // Run as root, it takes its tools from the system's own folders only.
    return QStringLiteral(R"(PATH=/usr/sbin:/usr/bin:/sbin:/bin; )"
                          R"(mkdir -p "${2%/*}" && new=$(mktemp "${2%/*}/.yt-dlp.XXXXXX") && cp "$1" "$new" && )"
                          R"(chmod 755 "$new" && mv -f "$new" "$2" || { rm -f "$new"; exit 1; })");
}

} // namespace quelmo
