#!/usr/bin/env bash
# How quickly the deck comes up and what it costs while it sits there, measured as a user runs it:
# the real application under Xvfb with a private PulseAudio null sink.
#   start   launch to the deck shown with its output stream open on the sound server
#   idle    CPU (share of one core) and resident memory over 30 s with nothing playing
#   wave    the same with the waveform panel scrolled into view (its idle wave moving)
#   hidden  the same with the window unmapped (what a minimised window costs)
#   rest    after a click on the Kick pad, seconds until the output stream is corked, at the
#           rack's defaults and with SPEED and PITCH moved on their sliders; then the
#           deck controller's own figure, seconds from its last audible block to the cork, and the
#           output gaps while the Kick plays (quelmo_rest_bench, built with -DQUELMO_BUILD_BENCH=ON)
# Usage: bench/desk_startup_idle.sh [BUILD_DIR] [SECONDS]
set -uo pipefail
build=${1:-build}
seconds=${2:-30}
E2E_APP=$(cd "$build" && pwd)/src/app/quelmo
source "$(dirname "$0")/../tests/e2e/harness.sh"
source "$(dirname "$0")/bench_common.sh"

stream_open() { pactl list sink-inputs | grep -q 'application.name = "Quelmo"'; }
corked() { pactl list sink-inputs | grep -q 'Corked: yes'; }
click_to_rest() { # label: click the Kick pad on a rested deck, time until the stream is corked
    local start end
    until corked; do sleep 0.05; done
    e2e_point_named "Kick pad"
    sleep 0.2
    start=$(date +%s.%N)
    xdotool click 1
    until ! corked; do sleep 0.01; done
    until corked; do sleep 0.02; done
    end=$(date +%s.%N)
    printf '%-8s %.2f s from a Kick click to the corked stream (%s; the Kick lasts 0.18 s)\n' rest \
        "$(awk "BEGIN { print $end - $start }")" "$1"
}
measure_idle() { # label
    local cpu
    cpu=$(bench_cpu_over "$E2E_APP_PID" "$seconds")
    printf '%-8s CPU %5.2f %% of a core over %ss, resident %s MB (load %s)\n' "$1" "$cpu" "$seconds" \
        "$(bench_rss_mb "$E2E_APP_PID")" "$(bench_load)"
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
e2e_point_named "Add or jump to cue" # the waveform panel on screen, its idle wave moving
sleep 1
measure_idle wave
xdotool windowunmap "$E2E_WINDOW"
sleep 1
measure_idle hidden
xdotool windowmap "$E2E_WINDOW"
sleep 1

click_to_rest "rack at its defaults"
e2e_click_named SPEED 0.67 # about 1.6x
e2e_click_named PITCH 0.65 # about +8st
click_to_rest "SPEED and PITCH off 1.00x and 0st"
e2e_screenshot rest-speed-pitch

rest_bench="$build/bench/quelmo_rest_bench"
if [[ -x "$rest_bench" ]]; then
    "$rest_bench" 35 | sed 's/^/deck     /'
fi
