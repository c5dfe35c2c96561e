#!/usr/bin/env bash
# How quickly the deck comes up and what it costs while it sits there, measured as a user runs it:
# the real application under Xvfb with a private PulseAudio null sink.
#   launch  over LAUNCHES launches: seconds from the launch to the window mapped, to the output stream
#           open on the sound server, and whether the key "1" pressed 50 ms after the map is heard
#           (its kick found in a recording of the sink's monitor, with its delay)
#   idle    CPU (share of one core) and resident memory over SECONDS with nothing playing
#   wave    the same with the waveform panel scrolled into view: over 4 s right after the pointer
#           moved (its idle wave moving), then over SECONDS once the desk has been left untouched
#   hidden  the same with the window unmapped (what a minimised window costs)
#   rest    after a click on the Kick pad, seconds until the output stream is corked, at the
#           rack's defaults and with SPEED and PITCH moved on their sliders; then the
#           deck controller's own figure, seconds from its last audible block to the cork, and the
#           output gaps while the Kick plays (quelmo_rest_bench)
# With BASELINE_BUILD (another build of the application, an earlier commit say), the launch and idle
# figures are taken for it too, the launches of the two taking turns, so both meet the same machine.
# Usage: bench/desk_startup_idle.sh [BUILD_DIR] [SECONDS] [BASELINE_BUILD] [LAUNCHES]
#        (BUILD_DIR built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
baseline=${3:+$(cd "$3" && pwd)}
launches=${4:-5}
E2E_APP=$build/src/app/quelmo
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_common.sh"
for needed in "$build/bench/quelmo_xtest_press" "$build/bench/quelmo_monitor_recorder"; do
    [[ -x "$needed" ]] || { echo "build $needed first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
done

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
measure_idle() { # WHAT LABEL [SECONDS]
    local cpu over=${3:-$seconds}
    cpu=$(bench_cpu_over "$E2E_APP_PID" "$over")
    printf '%-8s %-9s CPU %5.2f %% of a core over %ss, resident %s MB (load %s)\n' "$1" "$2" "$cpu" "$over" \
        "$(bench_rss_mb "$E2E_APP_PID")" "$(bench_load)"
}

launch_once() { # LABEL APP N: one launch on a fresh home, its figures appended to $E2E_ROOT/LABEL.launches
    local label=$1 name=$1-$3 start mapped stream heard poller
    E2E_APP=$2
    e2e_new_home
    mkdir -p "$E2E_ROOT/home/.config/Quelmo"
    printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"
    bench_record_start "$name"
    rm -f "$E2E_ROOT/stream-open"
    start=$(date +%s.%N)
    e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"
    (until stream_open; do sleep 0.005; done; date +%s.%N >"$E2E_ROOT/stream-open") &
    poller=$!
    until _e2e_visible_window >/dev/null; do sleep 0.005; done
    mapped=$(date +%s.%N)
    sleep 0.05
    bench_key "$name" 1 1
    wait "$poller"
    stream=$(cat "$E2E_ROOT/stream-open")
    sleep 1
    bench_record_stop
    heard=$({ /usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/$name" "$E2E_ROOT/$name.presses" kick key || true; } |
        sed -n 's/^key press 1: \([0-9.]*\) ms.*/\1 ms after the press/p; s/^key press 1: no onset.*/not heard/p')
    awk -v a="$mapped" -v b="$stream" -v s="$start" -v h="$heard" \
        'BEGIN { printf "%.3f %.3f %s\n", a - s, b - s, h }' >>"$E2E_ROOT/$label.launches"
    e2e_wait_screen deck
    e2e_stop_app
}
report_launches() { # LABEL
    awk -v label="$1" '{ map[NR] = $1; stream[NR] = $2; if ($3 != "not") heard++; line[NR] = $0 }
        function median(v, n,   i, j, t) { for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
            return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2 }
        END { n = NR; printf "launch   %-9s window mapped %.3f s, stream open %.3f s (medians of %d); a key 50 ms after the map heard %d of %d times\n",
                  label, median(map, n), median(stream, n), n, heard, n
              for (i = 1; i <= n; i++) printf "           %s launch %d: mapped %s s, stream open %s s, key %s\n", label, i, substr(line[i], 1, 5), substr(line[i], 7, 5), substr(line[i], 13) }' \
        "$E2E_ROOT/$1.launches"
}
measure_build() { # LABEL APP: launched once more and left running, its idle figures
    E2E_APP=$2
    e2e_new_home
    mkdir -p "$E2E_ROOT/home/.config/Quelmo"
    printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"
    e2e_relaunch_deck
    sleep 5 # past the first seconds, when the output settles and goes to sleep
    measure_idle "idle" "$1"
    e2e_point_named "Add or jump to cue" # the waveform panel on screen, the pointer just moved
    sleep 0.5
    measure_idle "wave" "$1" 4 # the idle wave moving
    sleep 2                    # untouched for 5 s, a wave showing nothing playing holds still
    measure_idle "wave" "$1"
    xdotool windowunmap "$E2E_WINDOW"
    sleep 1
    measure_idle "hidden" "$1"
    xdotool windowmap "$E2E_WINDOW"
    sleep 1
}

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
current=$E2E_APP
for ((n = 1; n <= launches; n++)); do
    [[ -n "$baseline" ]] && launch_once baseline "$baseline/src/app/quelmo" "$n"
    launch_once current "$current" "$n"
done
[[ -n "$baseline" ]] && report_launches baseline
report_launches current
if [[ -n "$baseline" ]]; then
    measure_build baseline "$baseline/src/app/quelmo"
    e2e_stop_app
fi
measure_build current "$current"

click_to_rest "rack at its defaults"
e2e_click_named SPEED 0.67 # about 1.6x
e2e_click_named PITCH 0.65 # about +8st
click_to_rest "SPEED and PITCH off 1.00x and 0st"
e2e_screenshot rest-speed-pitch

rest_bench="$build/bench/quelmo_rest_bench"
if [[ -x "$rest_bench" ]]; then
    "$rest_bench" 35 | sed 's/^/deck     /'
fi
