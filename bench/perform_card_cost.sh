#!/usr/bin/env bash
# What playing costs while the perform card flashes: the real application under Xvfb (Qt Quick's
# software renderer, as on a machine without a GPU) with a private PulseAudio null sink.
#   idle   CPU of the whole process, as a share of one core, over SECONDS with nothing happening
#   hits   the same while the Kick pad is clicked four times a second (each click plays the kick
#          and flashes the card, so the card stays up and its wave moves the whole time)
#   after  the same over the SECONDS after the last hit (the card gone: nothing should move)
# The X server's own CPU is shown beside each (it composes what the application draws). The same
# hits are measured first with the card turned off, which tells the card's share from the rest.
# Usage: bench/perform_card_cost.sh [BUILD_DIR] [SECONDS] [BASELINE_BUILD_DIR]
#        With a baseline build (an earlier one that writes the geometry file the harness finds the
#        Kick pad by), the same is measured for it first, in the same run.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
baseline=${3:+$(cd "$3" && pwd)}
E2E_APP=$build/src/app/quelmo
source "$(dirname "$0")/../tests/e2e/harness.sh"
source "$(dirname "$0")/bench_common.sh"

hz=$(getconf CLK_TCK)
measure() { # LABEL COMMAND...: CPU of the app and of the X server while COMMAND runs
    local label=$1 a0 a1 x0 x1 t0 t1
    shift
    a0=$(bench_cpu_ticks "$E2E_APP_PID") x0=$(bench_cpu_ticks "$xserver") t0=$(date +%s.%N)
    "$@"
    a1=$(bench_cpu_ticks "$E2E_APP_PID") x1=$(bench_cpu_ticks "$xserver") t1=$(date +%s.%N)
    awk -v l="$label" -v a=$((a1 - a0)) -v x=$((x1 - x0)) -v hz="$hz" -v t="$(awk "BEGIN { print $t1 - $t0 }")" \
        -v r="$(bench_rss_mb "$E2E_APP_PID")" \
        'BEGIN { printf "  %-6s app %5.1f %% of a core, X server %5.1f %%, over %.1f s; app resident %s MB\n", l, 100 * a / hz / t, 100 * x / hz / t, t, r }'
}
hits() { "$build/bench/quelmo_xtest_press" --button 1 $((seconds * 4)) 250 >/dev/null; }

run() { # APP [VAR=value ...]
    E2E_APP=$1
    shift
    e2e_launch_deck "$@"
    # The pointer rests on the Kick pad, found by its accessible name.
    e2e_point_named "Kick pad"
    sleep 5 # past the first seconds, when the output settles and goes to sleep
    [[ $# -gt 0 ]] || measure idle sleep "$seconds"
    measure hits hits
    sleep 1 # the last card fades
    [[ $# -gt 0 ]] || measure after sleep "$seconds"
    e2e_stop_app
}

e2e_start_display >/dev/null
xserver=${E2E_SERVER_PIDS[0]}
e2e_start_sound >/dev/null
if [[ -n "$baseline" ]]; then
    echo "baseline $baseline:"
    run "$baseline/src/app/quelmo"
fi
echo "$build, without the perform card (QUELMO_PERFORM_CARD=off: the pad, the sound and the meters alone):"
run "$build/src/app/quelmo" QUELMO_PERFORM_CARD=off
echo "$build:"
run "$build/src/app/quelmo"
