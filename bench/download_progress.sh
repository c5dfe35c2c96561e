#!/usr/bin/env bash
# How soon a download's progress lines reach the bar: quelmo_download_progress_bench runs the deck
# controller's downloadYouTubeAudio() with a fake yt-dlp printing LINES progress lines (50) INTERVAL_MS
# (20) apart, each stamped on CLOCK_MONOTONIC just before it is written, and times each line from
# its stamp to the change of downloadProgress. Three phases in one run: the same script under a bare
# QProcess (the baseline: pipe, child and event loop alone), the controller with an empty library,
# and a new controller started with a library of FILES entries (1000; library_common.sh), the
# download begun as the library is restored and its overviews analysed. Reports median, p95 and max
# delay per phase (target: max within one frame, 16.7 ms) and the machine's load before and after.
# Usage: bench/download_progress.sh [BUILD_DIR] [LINES] [INTERVAL_MS] [FILES]   (built with -DQUELMO_BUILD_BENCH=ON)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
lines=${2:-50}
interval=${3:-20}
count=${4:-1000}
here=$(cd "$(dirname "$0")" && pwd)
program="$build/bench/quelmo_download_progress_bench"
[[ -x "$program" ]] || { echo "build $program first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$here/library_common.sh"
echo "encoding three MP3s..."
fill_library "$work/library/Documents"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$program" "$lines" "$interval" "$work/library/Documents" 2>"$work/program.log" || {
    echo "the bench failed:"
    cat "$work/program.log"
    exit 1
}
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
