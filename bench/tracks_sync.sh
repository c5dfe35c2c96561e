#!/usr/bin/env bash
# Four tracks at 96, 108, 124 and 140 BPM (a click on every beat over a tone, 24 s each) looping
# through the rack: quelmo_tracks_sync_bench on a private sound server. Reports the whole process's
# CPU as a share of one core idle, with the four looping as they are (the baseline, same run) and
# with all four on SYNC at 120 BPM with the metronome (target under 20 %), then the underflows over
# LOADED_SECONDS with both cores kept busy. The machine's load is printed beside the figures.
# Usage: bench/tracks_sync.sh [BUILD_DIR] [SECONDS] [LOADED_SECONDS]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-20}
loaded=${3:-60}
here=$(cd "$(dirname "$0")" && pwd)
E2E_APP=/bin/true
source "$here/../tests/e2e/harness.sh"
source "$here/bench_common.sh"
tool="$build/bench/quelmo_tracks_sync_bench"
[[ -x "$tool" ]] || e2e_fail "build $tool first (cmake -DQUELMO_BUILD_BENCH=ON)"

files=()
i=0
for bpm in 96 108 124 140; do
    file="$E2E_ROOT/beat $bpm.wav"
    beat=$(/usr/bin/python3 -c "print(60/$bpm)")
    ffmpeg -nostdin -v error -y -f lavfi \
        -i "aevalsrc=0.7*sin(2*PI*3000*t)*lt(mod(t\,$beat)\,0.004)+0.15*sin(2*PI*$((220 + i * 55))*t):d=24:s=44100" \
        -ac 2 -c:a pcm_s16le "$file"
    files+=("$file")
    i=$((i + 1))
done

e2e_start_sound >/dev/null
echo "load at the start: $(bench_load)"
"$tool" "$seconds" "$loaded" "${files[@]}" || e2e_fail "the bench failed"
echo "load at the end:   $(bench_load)"
