#!/usr/bin/env bash
# Click-to-sound latency as a user meets it: the real application under Xvfb with a private
# PulseAudio null sink, the Kick pad clicked with xdotool, the sink's monitor recorded.
#
# Method: a bare PulseAudio client (quelmo_latency_probe, 256-frame buffer) plays a 5 kHz burst on
# the same X button press, through the same sink, so both answers to each click land in one
# recording. Quelmo's latency = the probe's own (the floor of this path: about 6.8 ms at 256
# frames, as measured for a bare client) + the gap between the burst and the kick. The first click
# comes after a quiet stretch, when the deck's output sleeps; it is reported on its own.
# Usage: bench/click_to_sound.sh [BUILD_DIR] [CLICKS]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
clicks=${2:-15}
E2E_APP=$build/src/app/quelmo
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
e2e_launch_deck
xdotool mousemove --sync 550 500
for _ in $(seq 40); do xdotool click 5; done # to the bottom
xdotool mousemove --sync 367 250
sleep 4 # the null sink settles and the deck's output goes to sleep

"$build/bench/quelmo_latency_probe" >"$E2E_ROOT/probe.log" 2>&1 &
probe=$!
E2E_SERVER_PIDS+=("$probe")
e2e_wait_for 10 grep -q ready "$E2E_ROOT/probe.log" || e2e_fail "latency probe did not start"
e2e_record_start
sleep 1
for _ in $(seq "$clicks"); do
    xdotool click 1
    sleep 0.5
done
sleep 0.5
e2e_record_stop

/usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/recording.wav" | tail -n 4
