#!/usr/bin/env bash
# What the deck costs while it plays, shown and hidden: the real application under Xvfb (Qt Quick's
# software renderer, as on a machine without a GPU) with a private PulseAudio null sink. CPU of the
# whole process, as a share of one core, over SECONDS each:
#   sequencer  the transport and the sequencer running (a kick on every beat), the top of the deck
#              on show, then with the window unmapped (as when minimised)
#   track      one track looping (a 20 s MP3 from the downloads library), the same two ways
# The machine's load is printed beside each figure. With BASELINE_BUILD (an earlier build of the
# application) the same is measured for it first, in the same run.
# Usage: bench/playing_cost.sh [BUILD_DIR] [SECONDS] [BASELINE_BUILD]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
baseline=${3:+$(cd "$3" && pwd)}
here=$(cd "$(dirname "$0")" && pwd)
E2E_APP=$build/src/app/quelmo
source "$here/../tests/e2e/harness.sh"
source "$here/bench_common.sh"

measure() { # LABEL WHAT
    printf '%-9s %-34s CPU %5.2f %% of a core over %ss (load %s)\n' "$1" "$2" \
        "$(bench_cpu_over "$E2E_APP_PID" "$seconds")" "$seconds" "$(bench_load)"
}
shown_and_hidden() { # LABEL WHAT
    e2e_show_named "ADD AUDIO" # the top of the deck in view
    xdotool mousemove 1275 1019 # the pointer off the window, as while working in another one
    sleep 2
    measure "$1" "$2, shown"
    xdotool windowunmap "$E2E_WINDOW"
    sleep 1
    measure "$1" "$2, hidden"
    xdotool windowmap "$E2E_WINDOW"
    sleep 1
}
measure_build() { # LABEL APP
    E2E_APP=$2
    e2e_new_home
    mkdir -p "$E2E_ROOT/home/.config/Quelmo" "$E2E_ROOT/home/Documents/Quelmo Downloads"
    printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"
    cp "$E2E_ROOT/loop.mp3" "$E2E_ROOT/home/Documents/Quelmo Downloads/loop.mp3"
    e2e_relaunch_deck
    e2e_wait_for 10 e2e_is_listed "Play loop" || e2e_fail "the library's row did not come back"
    sleep 3
    for step in 1 5 9 13; do e2e_click_named "Kick step $step"; done
    e2e_click_named PLAY
    e2e_click_named "Sequencer PLAY"
    shown_and_hidden "$1" "sequencer and transport running"
    e2e_click_named "Sequencer STOP"
    e2e_click_named PAUSE
    e2e_click_named "Play loop"
    shown_and_hidden "$1" "one track looping"
    e2e_stop_app
}

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=330:d=20:r=44100" -c:a libmp3lame -b:a 128k "$E2E_ROOT/loop.mp3"
[[ -n "$baseline" ]] && measure_build baseline "$baseline/src/app/quelmo"
measure_build current "$build/src/app/quelmo"
