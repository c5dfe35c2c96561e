#!/usr/bin/env bash
# Timing jitter of a sequenced pattern as recorded from the sound server: an eighth-note clap
# pattern played by the deck's sequencer (hits booked on their samples) and the same pattern fired
# straight from a main-thread timer, in one process and one recording; once with the machine idle,
# once with both cores kept busy by two spinning processes.
# Usage: bench/sequencer_jitter.sh [BUILD_DIR] [BPM] [SECONDS_PER_RUN]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
bpm=${2:-120}
seconds=${3:-20}
E2E_APP=$build/bench/quelmo_jitter_bench
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)
period=$(awk "BEGIN { printf \"%.6f\", 44100 * 60 / $bpm / 2 }")

e2e_start_sound >/dev/null
sleep 2 # an idle null sink renders its first second in one go

run() { # run LABEL
    e2e_record_start "$1"
    "$E2E_APP" "$bpm" "$seconds" >"$E2E_ROOT/$1.log" 2>&1
    e2e_record_stop
    local booked timer
    booked=$(awk '/^booked gaps/ { print $3 }' "$E2E_ROOT/$1.log")
    timer=$(awk '/^timer gaps/ { print $3 }' "$E2E_ROOT/$1.log")
    /usr/bin/python3 "$here/jitter_report.py" "$E2E_ROOT/$1.wav" "$period" "$1" "${booked:-0}" "${timer:-0}"
    echo "$1: $(grep -o 'output latency [0-9]* ms' "$E2E_ROOT/$1.log" | tail -1 || echo 'output latency 10 ms, no gaps')"
}

echo "eighth notes at $bpm BPM (a grid step of $period frames), $seconds s per run"
run idle
e2e_busy_start
run busy
e2e_busy_stop
