#!/usr/bin/env bash
# Click-to-sound latency as a user meets it, measured absolutely: the real application under Xvfb
# with a private PulseAudio null sink, the Kick pad clicked, the sink's monitor recorded.
#
# One clock for both ends: quelmo_xtest_press presses the button through XTest and stamps
# CLOCK_MONOTONIC once XSync returns (the server has taken the press); quelmo_monitor_recorder
# reads the monitor in 64-frame fragments and stamps each block's arrival on the same clock, so
# every recorded sample has a time (click_latency.py). Latency = the sound's onset - the press.
#
# Baseline in the same run, measured the same way: a bare PulseAudio client (quelmo_latency_probe,
# 256-frame buffer) that plays a 5 kHz burst on any button press, alone on the sink, before the
# deck starts. The deck's first click comes after a quiet stretch, when its output sleeps; it is
# reported on its own.
# Usage: bench/click_to_sound.sh [BUILD_DIR] [CLICKS]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
clicks=${2:-20}
E2E_APP=$build/src/app/quelmo
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)

source "$here/bench_common.sh"

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
bench_bare_client bare "$clicks"

# The deck: the pointer rests on the Kick pad, found by its accessible name.
e2e_launch_deck
e2e_point_named "Kick pad"
sleep 4 # the null sink settles and the deck's output goes to sleep
bench_record_start deck
sleep 0.5
bench_press deck "$clicks"
sleep 0.5
bench_record_stop

echo "click to sound, ${clicks} clicks each, press (XTest, after XSync) to onset at the sink's monitor:"
/usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/bare" "$E2E_ROOT/bare.presses" burst "bare client (256 frames)" |
    tail -n 1
/usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/deck" "$E2E_ROOT/deck.presses" kick "Quelmo Kick pad" \
    --first-apart | tail -n 2
