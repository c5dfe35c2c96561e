#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quelmo needs.
# Idempotent: packages already present are left alone, and apt is not touched at all
# when nothing is missing. Runs apt-get through sudo when not root.
set -euo pipefail

PACKAGES=(
  # toolchain
  cmake ninja-build g++ pkg-config git
  # Qt 6 (core library, QML application, dialogs)
  qt6-base-dev qt6-declarative-dev qt6-svg-dev libqt6svg6 libqt6sql6-sqlite
  qml6-module-qtqml-workerscript qml6-module-qtquick qml6-module-qtquick-window
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-layouts
  qml6-module-qtquick-dialogs qml6-module-qt-labs-folderlistmodel qml6-module-qtquick-shapes qml6-module-qttest
  libgl-dev fonts-dejavu-core fonts-noto-color-emoji adwaita-icon-theme
  # sound, decoding, time-pitch
  libpulse-dev libasound2-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev librubberband-dev
  # the loudness of the user's tracks
  libebur128-dev
  # X11 key observation and shared services
  libx11-dev libxi-dev libxtst-dev libsecret-1-dev libxcb1-dev libxcb-xinput-dev libxkbcommon-x11-dev
  # tools the application runs
  yt-dlp ffmpeg espeak-ng pulseaudio-utils
  # the Debian package and the checks of its desktop data
  dpkg-dev fakeroot lintian desktop-file-utils appstream man-db
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils pulseaudio imagemagick sox python3 python3-numpy aubio-tools
  spin
  # the shared services' tests: a private session bus with GNOME Keyring as the Secret Service
  dbus gnome-keyring
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=()
if [[ $(id -u) -ne 0 ]]; then SUDO=(sudo); fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
