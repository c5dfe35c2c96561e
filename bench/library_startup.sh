#!/usr/bin/env bash
# Start-up with a large downloads library, measured as a user runs it (the real application under
# Xvfb with a private PulseAudio null sink, tests/e2e/harness.sh) and in the deck controller alone.
# The library: FILES entries (1000 unless given) in "<Documents>/Quelmo Downloads", hard links of
# three distinct MP3s of 2:00, 2:30 and 3:00 (192 kb/s, stereo 44.1 kHz tone plus noise, made with
# ffmpeg at run time) named "track 0001.mp3"..., and a downloads.json listing them all
# (library_common.sh).
# Each application figure is taken with an empty library and with the large one, alternately, RUNS
# times (2 unless given), in the same run:
#   start    launch to the deck shown with its output stream open (target: 0.5 s or less with the
#            library)
#   listed   launch to the app listing "Play track 0001" (the first row's play control, through the
#            harness's geometry report; with the empty library, "ADD AUDIO")
#   beat     the main thread's heartbeat inside the application (libquelmo_heartbeat_preload.so,
#            preloaded): a precise 5 ms timer stamping CLOCK_MONOTONIC for SECONDS (10) from the
#            application object's creation; the first gap (the scene's load, before the event loop
#            first runs) apart, then the largest, p99 and median gap and where the largest fell
#            (target: largest under 50 ms), and the largest busy time of a gap: the main thread's
#            own CPU time within it. A gap much longer than its busy time was spent waiting for a
#            core: other work on the machine, not the application (compare with the load printed)
# Then quelmo_library_startup_bench: the deck controller on a QCoreApplication with the same 5 ms
# heartbeat, empty library then the large one, SECONDS each; with ALL=1 in the environment it goes on
# until every overview is analysed. The machine's load is printed before and after.
# Usage: bench/library_startup.sh [BUILD_DIR] [FILES] [SECONDS] [RUNS]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
count=${2:-1000}
seconds=${3:-10}
runs=${4:-2}
here=$(cd "$(dirname "$0")" && pwd)
E2E_APP=$build/src/app/quelmo
preload=$build/bench/libquelmo_heartbeat_preload.so
program=$build/bench/quelmo_library_startup_bench
for needed in "$E2E_APP" "$preload" "$program"; do
    [[ -e "$needed" ]] || { echo "build $needed first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
done
source "$here/../tests/e2e/harness.sh"

work="$E2E_ROOT/library-work"
mkdir -p "$work/empty/Documents"
source "$here/library_common.sh"
echo "encoding three MP3s..."
library_sources
fill_library "$work/library/Documents"

stream_open() { pactl list sink-inputs | grep -q 'application.name = "Quelmo"'; }
# Whether the app lists a control of that name now (asks for the geometry report, polled fast).
listed() {
    rm -f "$E2E_GEOMETRY"
    kill -USR1 "$E2E_APP_PID" 2>/dev/null || return 1
    local tries=500
    until [[ -e "$E2E_GEOMETRY" ]]; do
        ((tries-- > 0)) || return 1
        sleep 0.01
    done
    awk -F'\t' -v name="$1" '$1 == name { found = 1 } END { exit !found }' "$E2E_GEOMETRY"
}
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }

launch() { # label: empty | library
    local label=$1 start ready shown control
    e2e_new_home
    mkdir -p "$E2E_ROOT/home/.config/Quelmo"
    printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"
    control="ADD AUDIO"
    if [[ $label == library ]]; then
        fill_library "$E2E_ROOT/home/Documents"
        control="Play track 0001"
    fi
    rm -f "$E2E_ROOT/heartbeat"
    start=$(date +%s%N)
    e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp" "LD_PRELOAD=$preload" \
        "QUELMO_BENCH_HEARTBEAT_FILE=$E2E_ROOT/heartbeat" "QUELMO_BENCH_HEARTBEAT_SECONDS=$seconds"
    until _e2e_screen_is deck && stream_open; do sleep 0.01; done
    ready=$(date +%s%N)
    until listed "$control"; do sleep 0.01; done
    shown=$(date +%s%N)
    e2e_wait_for $((seconds + 10)) test -e "$E2E_ROOT/heartbeat" || e2e_fail "no heartbeat file from the application"
    printf '%-8s start %s s, "%s" listed at %s s; %s\n' "$label" "$(since "$start" "$ready")" "$control" \
        "$(since "$start" "$shown")" "$(python3 "$here/heartbeat_gaps.py" "$E2E_ROOT/heartbeat")"
    e2e_stop_app
}

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== the application ($count entries, heartbeat over the first $seconds s)"
for ((run = 1; run <= runs; run++)); do
    launch empty
    launch library
done
echo "load now:    $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== the deck controller alone (quelmo_library_startup_bench)"
"$program" "$work/empty/Documents" "$work/library/Documents" "$seconds" ${ALL:+3600} 2>"$work/program.log"
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
