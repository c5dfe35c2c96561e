#!/usr/bin/env bash
# The Debian package as a user's machine receives it: built from the tested build, unpacked into a
# scratch root, its files, dependencies and desktop data checked, and lintian satisfied.
# Usage: contents_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quelmo-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "[package] FAIL: $*" >&2; exit 1; }
ok() { echo "[package] ok: $*"; }

deb=$(bash "$src/scripts/package.sh" --from "$build" 2>"$scratch/package.log") ||
    { cat "$scratch/package.log" >&2; fail "the package did not build"; }
ok "built $deb"

dpkg-deb -x "$deb" "$scratch/root"
(cd "$scratch/root" && find . -type f | sed 's|^\./|/|' | sort) >"$scratch/files"
cat >"$scratch/expected" <<'FILES'
/usr/bin/quelmo
/usr/share/applications/org.quelmo.quelmo.desktop
/usr/share/doc/quelmo/changelog.gz
/usr/share/doc/quelmo/copyright
/usr/share/icons/hicolor/scalable/apps/org.quelmo.quelmo.svg
/usr/share/man/man1/quelmo.1.gz
/usr/share/metainfo/org.quelmo.quelmo.metainfo.xml
FILES
diff -u "$scratch/expected" "$scratch/files" || fail "the package holds other files than these"
ok "the package holds the program, its desktop entry, icon, AppStream data, manual page and documents"

file "$scratch/root/usr/bin/quelmo" | grep -q 'stripped' && ! file "$scratch/root/usr/bin/quelmo" | grep -q 'not stripped' ||
    fail "the program is not stripped"
out=$(env -u DISPLAY "$scratch/root/usr/bin/quelmo" --version)
[[ "$out" == "Quelmo $(dpkg-deb -f "$deb" Version)" ]] || fail "the packaged program says '$out'"
ok "the packaged program answers --version with the package's version"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in 'libc6 (>=' 'libqt6core6 (>=' 'libpulse0 (>=' 'librubberband2' 'libavcodec' \
    qml6-module-qtquick-controls qml6-module-qtquick-dialogs libqt6sql6-sqlite ffmpeg espeak-ng pulseaudio-utils; do
    grep -qF "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -qw yt-dlp <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "yt-dlp is not recommended"
ok "Depends has the linked libraries (from dpkg-shlibdeps) and the tools and QML modules; yt-dlp is recommended"

desktop-file-validate "$scratch/root/usr/share/applications/org.quelmo.quelmo.desktop" || fail "desktop-file-validate"
appstreamcli validate --pedantic --no-net "$scratch/root/usr/share/metainfo/org.quelmo.quelmo.metainfo.xml" ||
    fail "appstreamcli validate --pedantic"
warnings=$(man --warnings -l "$scratch/root/usr/share/man/man1/quelmo.1.gz" 2>&1 >/dev/null)
[[ -z "$warnings" ]] || fail "the manual page has warnings: $warnings"
ok "the desktop entry, the AppStream data and the manual page validate"

# Every environment variable and option --help names, the manual page names too.
help=$(env -u DISPLAY "$scratch/root/usr/bin/quelmo" --help)
manual=$(LC_ALL=C MANWIDTH=100 man -P cat -l "$scratch/root/usr/share/man/man1/quelmo.1.gz" 2>/dev/null)
words=$(grep -oE '(^|  )(--[a-z-]+|[A-Z][A-Z_]{4,})' <<<"$help" | tr -d ' ' | grep -vx -- --help-all | sort -u)
[[ $(wc -l <<<"$words") -ge 15 ]] || fail "--help names fewer options and variables than expected: $words"
for word in $words; do
    # Qt's options are written with one dash in the manual page, as Qt's own documentation does.
    grep -qF -- "${word#-}" <<<"$manual" || fail "the manual page does not mention $word"
done
ok "the manual page documents the $(wc -l <<<"$words") options and variables --help names"

lint=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian reports errors or warnings: $lint"
ok "lintian reports no errors or warnings"
echo "[package] all package content checks passed"
