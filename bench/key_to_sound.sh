#!/usr/bin/env bash
# Key-to-sound latency of a pad key as a player meets it, measured absolutely like click_to_sound.sh:
# the real application under Xvfb with a private PulseAudio null sink, the sink's monitor recorded
# by quelmo_monitor_recorder (64-frame blocks stamped on CLOCK_MONOTONIC), the "1" key pressed
# through XTest by quelmo_xtest_press (stamped once XSync returns: the server has taken the press).
# Latency = the kick's onset in the recording - the press (click_latency.py).
#
# Four figures in one run, each over PRESSES presses about 500 ms apart:
#   bare     the baseline: a bare libpulse client (quelmo_latency_probe, 256-frame buffer) playing a
#            5 kHz burst on every key press it sees through XInput2, alone on the sink
#   click    the Kick pad clicked (the click_to_sound.sh figure, for comparison)
#   focused  "1" pressed with Quelmo's window focused: the application's key filter to the deck
#   other    "1" pressed with another X11 window focused (xev): Quelmo's XInput2 raw-key listener
# Before each deck figure the deck rests 4 s, so its output sleeps; its first press, which wakes
# the output, is reported on its own. The machine's load is printed beside each figure.
# Usage: bench/key_to_sound.sh [BUILD_DIR] [PRESSES]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
presses=${2:-30}
E2E_APP=$build/src/app/quelmo
for needed in "$E2E_APP" "$build/bench/quelmo_xtest_press" "$build/bench/quelmo_monitor_recorder"; do
    [[ -x "$needed" ]] || { echo "build $needed first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
done
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_common.sh"

declare -A load
record_deck() { # NAME: a rested deck, recorded while PRESS_COMMAND... runs
    local name=$1
    shift
    sleep 4 # the deck's output goes to sleep
    load[$name]=$(bench_load)
    bench_record_start "$name"
    sleep 0.5
    "$@"
    sleep 0.5
    bench_record_stop
}

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
load[bare]=$(bench_load)
bench_bare_client bare "$presses" 1

e2e_launch_deck
e2e_point_named "Kick pad"
record_deck click bench_press click "$presses"

xdotool windowfocus --sync "$E2E_WINDOW"
record_deck focused bench_key focused 1 "$presses"

xev -name "other application" >"$E2E_ROOT/xev.log" 2>&1 &
E2E_SERVER_PIDS+=("$!")
e2e_wait_for 5 bash -c "xdotool search --name '^other application$' >/dev/null" || e2e_fail "xev did not open"
other=$(xdotool search --name '^other application$' | head -n 1)
xdotool windowfocus --sync "$other"
record_deck other bench_key other 1 "$presses"
grep -q "keycode 10 " "$E2E_ROOT/xev.log" || e2e_fail "the other application did not receive the key"

report() { # NAME KIND LABEL [OPTIONS]: the summary lines and the load before the figure
    local name=$1
    /usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/$name" "$E2E_ROOT/$name.presses" "${@:2}" |
        grep -v ' press [0-9]*:' | sed "s/\$/ (load $(printf %s "${load[$name]}"))/"
}
echo "key and click to sound, $presses presses each, press (XTest, after XSync) to onset at the sink's monitor:"
report bare burst "bare client, key press (256 frames)"
report click kick "Quelmo Kick pad click" --first-apart
report focused kick "Quelmo key 1, its window focused" --first-apart
report other kick "Quelmo key 1, another window focused" --first-apart
echo "load now: $(bench_load)"
