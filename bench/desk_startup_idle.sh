#!/usr/bin/env bash
# How quickly the deck comes up and what it costs while it sits there, measured as a user runs it:
# the real application under Xvfb with a private PulseAudio null sink.
#   start   launch to the deck shown with its output stream open on the sound server
#   idle    CPU (share of one core) and resident memory over 30 s with nothing playing
#   hidden  the same with the window unmapped (what a minimised window costs)
# Usage: bench/desk_startup_idle.sh [BUILD_DIR] [SECONDS]
set -uo pipefail
build=${1:-build}
seconds=${2:-30}
E2E_APP=$(cd "$build" && pwd)/src/app/quelmo
source "$(dirname "$0")/../tests/e2e/harness.sh"

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_mb() { awk '/VmRSS/ {printf "%.0f", $2 / 1024}' "/proc/$1/status"; }
stream_open() { pactl list sink-inputs | grep -q 'application.name = "Quelmo"'; }
measure_idle() { # label
    local ticks0 ticks1 hz
    hz=$(getconf CLK_TCK)
    ticks0=$(cpu_ticks "$E2E_APP_PID")
    sleep "$seconds"
    ticks1=$(cpu_ticks "$E2E_APP_PID")
    printf '%-8s CPU %5.2f %% of a core over %ss, resident %s MB\n' "$1" \
        "$(awk "BEGIN { print 100 * ($ticks1 - $ticks0) / $hz / $seconds }")" "$seconds" "$(rss_mb "$E2E_APP_PID")"
}

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
e2e_new_home
mkdir -p "$E2E_ROOT/home/.config/Quelmo"
printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"

start=$(date +%s.%N)
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp" ${QUELMO_BENCH_ENV:-}
until _e2e_screen_is deck && stream_open; do sleep 0.01; done
ready=$(date +%s.%N)
e2e_wait_window
printf 'start    %.3f s from launch to the deck shown with its stream open\n' "$(awk "BEGIN { print $ready - $start }")"

sleep 5 # past the first seconds, when the output settles and goes to sleep
measure_idle idle
xdotool windowunmap "$E2E_WINDOW"
sleep 1
measure_idle hidden
