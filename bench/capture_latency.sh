#!/usr/bin/env bash
# System-audio latency on the private sound server: a click played into the capture sink, timed to
# where it comes out of the deck's output (see CaptureLatency.cpp), against the sound server's own
# module-loopback on the same path in the same run. Both figures are taken between two null-sink
# monitors: a real output device adds its own buffer to either.
# Usage: bench/capture_latency.sh [BUILD_DIR]
set -Eeuo pipefail
build=$(cd "${1:-build}" && pwd)
E2E_APP=/bin/true
source "$(dirname "$0")/../tests/e2e/harness.sh"
e2e_start_sound
bench="$build/bench/quelmo_capture_latency_bench"

deck=$("$bench")
echo "$deck"
pactl load-module module-null-sink sink_name=quelmo_capture rate=44100 channels=2 >/dev/null
loopback=$(pactl load-module module-loopback source=quelmo_capture.monitor sink=quelmo_test latency_msec=1)
sleep 2
baseline=$("$bench" --no-deck)
pactl unload-module "$loopback"
echo "module-loopback (latency_msec=1): ${baseline#capture sink to output: }"
ours=$(sed -n 's/.*deck output: median \([0-9.]*\) ms.*/\1/p' <<<"$deck")
theirs=$(sed -n 's/.*median \([0-9.]*\) ms.*/\1/p' <<<"$baseline")
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "deck / module-loopback median delay: %.2fx   (target: deck under 60 ms)\n", a / b }'
