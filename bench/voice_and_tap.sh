#!/usr/bin/env bash
# Voice drops and the lid tap, timed as a user meets them, on the real application under Xvfb with
# a private PulseAudio daemon, every figure beside its baseline from the same run:
#   SPEAK to first voice sound: SPEAK clicked through XTest (stamped when the button comes up: it
#     acts on release) to the first loud sample of the voice at the output's monitor; baselines:
#     espeak-ng alone rendering the same phrase to a file, and a bare libpulse client's burst on a
#     click (the floor of any click-to-sound path).
#   Tap in the microphone to kick at the output: taps played into a test microphone (a null sink
#     whose monitor is the default source), both monitors recorded on one clock; baseline: the same
#     taps passed straight to the output by the sound server's own loopback at its lowest latency.
# Usage: bench/voice_and_tap.sh [BUILD_DIR] [COUNT]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-20}
E2E_APP=$build/src/app/quelmo
for needed in "$E2E_APP" "$build/bench/quelmo_xtest_press" "$build/bench/quelmo_monitor_recorder"; do
    [[ -x "$needed" ]] || { echo "build $needed first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
done
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_common.sh"

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
pactl load-module module-null-sink sink_name=test_mic rate=44100 channels=2 >/dev/null
pactl set-default-source test_mic.monitor
/usr/bin/python3 - "$E2E_ROOT/taps.wav" "$count" <<'PY'
import sys, wave
import numpy as np
rate, count = 44100, int(sys.argv[2])
n = int(0.015 * rate)
rng = np.random.default_rng(7)
out = []
for _ in range(count):
    tap = rng.uniform(-1, 1, n) * np.exp(-np.arange(n) / (0.004 * rate)) * 0.9
    out += [tap, np.zeros(int(0.6 * rate))]
pcm = (np.concatenate(out) * 32767).astype("<i2")
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(pcm.tobytes())
PY
mic_record_start() {
    "$build/bench/quelmo_monitor_recorder" test_mic.monitor "$E2E_ROOT/$1" 64 >"$E2E_ROOT/$1.log" 2>&1 &
    mic_recorder=$!
    E2E_SERVER_PIDS+=("$mic_recorder")
    e2e_wait_for 10 grep -q ready "$E2E_ROOT/$1.log" || e2e_fail "the microphone recorder did not start"
}
mic_record_stop() { kill -INT "$mic_recorder"; wait "$mic_recorder"; }
taps_through() { # NAME: the taps into the microphone, both monitors recorded
    mic_record_start "$1-mic"
    bench_record_start "$1-out"
    sleep 0.5
    pacat --device=test_mic --file-format=wav "$E2E_ROOT/taps.wav"
    sleep 0.5
    bench_record_stop
    mic_record_stop
}

phrase="Back to work — let's go."
espeak_ms=()
for _ in $(seq 5); do
    start=$(date +%s%N)
    espeak-ng -v en-us -s 158 -b 1 -w "$E2E_ROOT/alone.wav" -- "$phrase"
    espeak_ms+=($(( ($(date +%s%N) - start) / 1000000 )))
done
bench_bare_client bare 10

# The loopback baseline, alone on the sink.
loopback=$(pactl load-module module-loopback source=test_mic.monitor sink=quelmo_test latency_msec=1)
sleep 1
load_loopback=$(bench_load)
taps_through loopback
pactl unload-module "$loopback"

e2e_launch_deck
e2e_click_named "LID TAP → KICK"
e2e_wait_for 10 e2e_is_listed "Mic on — tap or pat the lid (near mic) for kick" || e2e_fail "the lid tap did not start"
sleep 1
load_tap=$(bench_load)
taps_through tap

e2e_point_named "SPEAK"
load_speak=$(bench_load)
bench_record_start speak
sleep 0.5
bench_press speak "$count" 3500
sleep 1
bench_record_stop

sorted=$(printf '%s\n' "${espeak_ms[@]}" | sort -n)
echo "voice drops and lid tap, $count each:"
echo "espeak-ng alone, the phrase to a file: median $(sed -n 3p <<<"$sorted") ms of 5 runs"
/usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/bare" "$E2E_ROOT/bare.presses" burst "bare client, click (256 frames)" |
    tail -n 1
/usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/speak" "$E2E_ROOT/speak.presses" burst "SPEAK to first voice sound" \
    --from-release --window 1500 | tail -n 1 | sed "s/\$/ (load $load_speak)/"
/usr/bin/python3 "$here/tap_latency.py" "$E2E_ROOT/loopback-mic" "$E2E_ROOT/loopback-out" burst \
    "server loopback, tap to output" | sed "s/\$/ (load $load_loopback)/"
/usr/bin/python3 "$here/tap_latency.py" "$E2E_ROOT/tap-mic" "$E2E_ROOT/tap-out" kick "Quelmo tap to kick" |
    sed "s/\$/ (load $load_tap)/"
