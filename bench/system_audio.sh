#!/usr/bin/env bash
# System audio over a long run, on the real application under Xvfb with a private PulseAudio
# daemon: a short click played into "Quelmo Capture" every second for SECONDS (600 by default),
# both the capture sink's monitor and the output's recorded on one clock (quelmo_monitor_recorder):
# the delay from the capture sink to Quelmo's output, over the whole run and for its first and
# last minute (it must not creep), and the whole process's CPU while capturing beside the same
# application idle, measured in the same run. With "busy", two spinning processes keep both cores
# busy while the clicks play: the delay must stay bounded under load (the CPU figure then means
# little).
# Usage: bench/system_audio.sh [BUILD_DIR] [SECONDS] [busy]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-600}
load=${3:-}
E2E_APP=$build/src/app/quelmo
for needed in "$E2E_APP" "$build/bench/quelmo_monitor_recorder"; do
    [[ -x "$needed" ]] || { echo "build $needed first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
done
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_common.sh"

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
/usr/bin/python3 - "$E2E_ROOT/clicks.wav" "$seconds" <<'PY'
import sys, wave
import numpy as np
rate, count = 44100, int(sys.argv[2])
click = np.zeros(rate)
click[:220] = 0.9 * np.exp(-np.arange(220) / 40.0)
pcm = (np.tile(click, count) * 32767).astype("<i2")
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(pcm.tobytes())
PY

e2e_launch_deck
sleep 3
load_idle=$(bench_load)
idle=$(bench_cpu_over "$E2E_APP_PID" 20)

e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "Quelmo Capture Not Set Up" || e2e_fail "START did not offer to create the sink"
e2e_click_named "Create"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'" || e2e_fail "capture did not start"
"$build/bench/quelmo_monitor_recorder" quelmo_capture.monitor "$E2E_ROOT/in" 64 >"$E2E_ROOT/in.log" 2>&1 &
in_recorder=$!
E2E_SERVER_PIDS+=("$in_recorder")
e2e_wait_for 10 grep -q ready "$E2E_ROOT/in.log" || e2e_fail "the capture-side recorder did not start"
bench_record_start out
[[ "$load" == busy ]] && e2e_busy_start
pacat --device=quelmo_capture --file-format=wav --client-name="other application" "$E2E_ROOT/clicks.wav" &
player=$!
# The buffer latency the server reports for Quelmo's stream of a kind (sink-inputs, source-outputs).
stream_latency() {
    pactl list "$1" | awk 'BEGIN { RS = "" } /application.name = "Quelmo"/ {
        match($0, /Buffer Latency: [0-9]+/); print substr($0, RSTART + 16, RLENGTH - 16) / 1000 " ms"; exit }'
}
# Every minute, the latency each of Quelmo's streams holds at the server: a creep shows on the side
# where it happens.
(
    while sleep 60; do
        printf '%s s: output %s, capture %s\n' "$SECONDS" \
            "$(stream_latency sink-inputs)" \
            "$(stream_latency source-outputs)"
    done >"$E2E_ROOT/streams.log" 2>&1
) &
sampler=$!
E2E_SERVER_PIDS+=("$sampler")
sleep 5
load_capture=$(bench_load)
capturing=$(bench_cpu_over "$E2E_APP_PID" $((seconds - 10)))
wait "$player"
e2e_busy_stop
sleep 1
bench_record_stop
kill -INT "$in_recorder"; wait "$in_recorder"

echo "system audio, $seconds s of clicks into Quelmo Capture${load:+, both cores kept busy}:"
/usr/bin/python3 "$here/tap_latency.py" "$E2E_ROOT/in" "$E2E_ROOT/out" burst "capture sink to Quelmo's output" --ends 60
echo "the streams' buffer latency at the server, each minute:"
sed 's/^/  /' "$E2E_ROOT/streams.log"
echo "what the application logged about gaps and the capture queue:"
grep -E 'ran dry|ran short|back down' "$E2E_ROOT/app.log" | sed 's/^/  /' | tail -20
echo "CPU, whole process: idle deck ${idle} % (load $load_idle), capturing ${capturing} % (load $load_capture)"
