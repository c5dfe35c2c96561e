#!/usr/bin/env bash
# The main thread while 20 files are added at once: quelmo_import_heartbeat (the deck controller with
# a 5 ms heartbeat on its main thread) on a private sound server, first idle for the baseline, then
# with addImportFiles() given 20 files of two to four minutes, mixed MP3 (192 kb/s), WAV (16-bit)
# and FLAC, all stereo 44.1 kHz tone plus noise. Reports the largest and 99th-percentile gap between
# beats in both phases and their ratio; the target is a largest gap under 50 ms. The machine's load
# is printed before and after: other work on the cores shows in both phases alike.
# Usage: bench/import_heartbeat.sh [BUILD_DIR] [BASELINE_SECONDS]   (built with -DQUELMO_BUILD_BENCH=ON)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
baseline=${2:-10}
here=$(cd "$(dirname "$0")" && pwd)
tool="$build/bench/quelmo_import_heartbeat"
[[ -x "$tool" ]] || { echo "build $tool first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "encoding 20 files..."
files=()
for i in $(seq 0 19); do
    seconds=$((120 + i * 6))
    case $((i % 3)) in
        0) ext=mp3 codec=(-c:a libmp3lame -b:a 192k) ;;
        1) ext=wav codec=(-c:a pcm_s16le) ;;
        2) ext=flac codec=(-c:a flac) ;;
    esac
    file="$work/track $(printf %02d "$i").$ext"
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=$((200 + i * 30)):d=$seconds:r=44100" \
        -f lavfi -i "anoisesrc=d=$seconds:r=44100:a=0.05" -filter_complex "[0][1]amix=inputs=2,volume=2" \
        -ac 2 "${codec[@]}" "$file"
    files+=("$file")
done
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
bash "$here/../tests/e2e/with_sound_server.sh" "$tool" "$baseline" "${files[@]}" | grep -v '^\[e2e\]'
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
