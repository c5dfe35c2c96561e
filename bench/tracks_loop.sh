#!/usr/bin/env bash
# Eight tracks looping together through the rack at its defaults: quelmo_tracks_loop_bench on a
# private sound server with eight files of 20 to 41 s (MP3, WAV and FLAC, each its own tone, so the
# loops wrap several times). Reports the whole process's CPU as a share of one core with the rows
# idle (the baseline) and with all eight looping (target under 5 %), and the output's gaps over
# LOADED_SECONDS with both cores kept busy by two `sha256sum /dev/zero`: the underflows the output
# driver counts, and runs of silence in a recording of the sink's monitor over the same stretch.
# Baseline for the gaps, first, under the same load: `pacat` playing a tone as long with the deck's
# own target latency (15 ms), its underruns and the gaps in the monitor over its stretch: what the
# sound server and the machine allow any client. The machine's load is printed beside the figures.
# Usage: bench/tracks_loop.sh [BUILD_DIR] [SECONDS] [LOADED_SECONDS]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
loaded=${3:-60}
here=$(cd "$(dirname "$0")" && pwd)
E2E_APP=/bin/true
source "$here/../tests/e2e/harness.sh"
source "$here/bench_common.sh"
tool="$build/bench/quelmo_tracks_loop_bench"
[[ -x "$tool" ]] || e2e_fail "build $tool first (cmake -DQUELMO_BUILD_BENCH=ON)"

echo "encoding 8 files..."
files=()
for i in $(seq 0 7); do
    seconds_long=$((20 + i * 3))
    case $((i % 3)) in
        0) ext=mp3 codec=(-c:a libmp3lame -b:a 192k) ;;
        1) ext=wav codec=(-c:a pcm_s16le) ;;
        2) ext=flac codec=(-c:a flac) ;;
    esac
    file="$E2E_ROOT/loop $i.$ext"
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=$((220 + i * 55)):d=$seconds_long:r=44100" \
        -af volume=0.7 -ac 2 "${codec[@]}" "$file"
    files+=("$file")
done

monotonic_ns() { /usr/bin/python3 -c 'import time; print(time.monotonic_ns())'; }

e2e_start_sound >/dev/null
bench_record_start loop
sox -n -r 44100 -c 2 -b 16 "$E2E_ROOT/baseline.wav" synth "$loaded" sine 440 vol 0.3
load=()
for _ in 1 2; do
    sha256sum /dev/zero >/dev/null &
    load+=($!)
done
sleep 1
base_start=$(monotonic_ns)
pacat -v --latency-msec=15 "$E2E_ROOT/baseline.wav" >"$E2E_ROOT/pacat.log" 2>&1

echo "baseline  load $(bench_load) while pacat played"
kill "${load[@]}"
wait "${load[@]}" 2>/dev/null || true # ended by the signal
echo "baseline  pacat, 15 ms latency: $(grep -c -i underrun "$E2E_ROOT/pacat.log") underruns over $loaded s with both cores busy"
sleep 2
echo "load at the start: $(bench_load)"
"$tool" "$seconds" "$loaded" "${files[@]}" >"$E2E_ROOT/loop.out" || e2e_fail "the bench failed: $(cat "$E2E_ROOT/loop.out")"
echo "load at the end:   $(bench_load)"
bench_record_stop
grep -v '^window' "$E2E_ROOT/loop.out"
read -r _ start end < <(grep '^window' "$E2E_ROOT/loop.out")
/usr/bin/python3 "$here/output_gaps.py" "$E2E_ROOT/loop" $((base_start + 500000000)) $((base_start + (loaded - 1) * 1000000000)) "baseline  monitor"
/usr/bin/python3 "$here/output_gaps.py" "$E2E_ROOT/loop" "$start" "$end" "loaded    monitor"
