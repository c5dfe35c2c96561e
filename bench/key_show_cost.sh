#!/usr/bin/env bash
# What the keyboard light show costs, as a user runs it: the real application under Xvfb (a
# 1920x1080 screen unless E2E_SCREEN says otherwise) with a private PulseAudio null sink, drawn by
# the software renderer as it is wherever there is no /dev/dri. Each figure is the whole process's
# CPU (all threads, user + system) as a share of one core over the phase, beside the X server's
# share over the same time (it takes the software renderer's frames), in this order:
#   idle      the deck at rest, nothing pressed: the baseline
#   typing    10 keys a second (g h k n o p v x z c in turn: keys that play nothing and make a
#             bubble each) pressed into the focused window through XTest, for SECONDS
#   disco     D pressed once: the light bar cycling its colours and the rays, no keys
#   full      F: the full-screen disco window, measured over 8 s of each of three openings (it
#             closes itself after 10 s)
#   hidden    the deck window unmapped (minimised) with disco still on
#   idle      disco off again, the window back: the baseline a second time
# The machine's load is printed beside each figure: other work on the cores shows in the baselines
# too. Targets: typing under 20 %, disco under 3 %, full under 35 %, hidden about 0.
# Usage: bench/key_show_cost.sh [BUILD_DIR] [SECONDS]   (SECONDS: 30 unless given)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
E2E_APP=$build/src/app/quelmo
[[ -x "$build/bench/quelmo_xtest_press" ]] || { echo "build the benchmarks first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
export E2E_SCREEN=${E2E_SCREEN:-1920x1080x24}
source "$(dirname "$0")/../tests/e2e/harness.sh"
source "$(dirname "$0")/bench_common.sh"

xserver=""
# CPU of the application and of the X server over SECONDS: "<app %> <X server %>".
cpu_both() {
    local a0 x0 a1 x1
    a0=$(bench_cpu_ticks "$E2E_APP_PID")
    x0=$(bench_cpu_ticks "$xserver")
    sleep "$1"
    a1=$(bench_cpu_ticks "$E2E_APP_PID")
    x1=$(bench_cpu_ticks "$xserver")
    awk -v a="$((a1 - a0))" -v x="$((x1 - x0))" -v hz="$(getconf CLK_TCK)" -v s="$1" \
        'BEGIN { printf "%.2f %.2f", 100 * a / hz / s, 100 * x / hz / s }'
}
report() { # LABEL APP% X% SECONDS LOAD [NOTE]
    printf '%-7s CPU %6.2f %% of a core (X server %6.2f %%) over %ss, load %s%s\n' "$1" "$2" "$3" "$4" "$5" "${6:+; $6}"
}
measure() { # LABEL [NOTE]
    local load app x
    load=$(bench_load)
    read -r app x <<<"$(cpu_both "$seconds")"
    report "$1" "$app" "$x" "$seconds" "$load" "${2:-}"
}
key() { # a single key to the deck's window
    xdotool windowfocus --sync "$E2E_WINDOW"
    "$build/bench/quelmo_xtest_press" --key "$1" 1 0 >/dev/null
}
disco_off() { ! e2e_is_shown "DISCO MODE"; }
disco_shown() { xdotool search --onlyvisible --name '^Quelmo Disco$' >/dev/null 2>&1; }

e2e_start_display >/dev/null
xserver=${E2E_SERVER_PIDS[0]}
e2e_start_sound >/dev/null
e2e_launch_deck
echo "screen $E2E_SCREEN, deck window $(e2e_window_size), phases of $seconds s"
sleep 5 # past the first seconds, when the output settles and goes to sleep

measure idle

presses=$((seconds * 10 + 20))
xdotool windowfocus --sync "$E2E_WINDOW"
"$build/bench/quelmo_xtest_press" --key g,h,k,n,o,p,v,x,z,c "$presses" 100 >"$E2E_ROOT/typing.presses" &
typist=$!
sleep 1
measure typing
wait "$typist" || e2e_fail "the key presser failed"
rate=$(awk 'NR == 1 { first = $1 } { last = $1 } END { printf "%.1f", (NR - 1) / ((last - first) / 1e9) }' "$E2E_ROOT/typing.presses")
echo "        (${presses} keys at ${rate} a second)"
sleep 2 # the last bubbles fade

key d
e2e_wait_for 3 e2e_is_shown "DISCO MODE" || e2e_fail "D did not turn disco mode on"
sleep 2.5 # past the DISCO ON card and the D key's bubble
measure disco

total_app=0 total_x=0 load=$(bench_load)
for round in 1 2 3; do
    key f
    e2e_wait_for 3 disco_shown || e2e_fail "F did not open the full-screen disco"
    sleep 1.5 # past the card F brings up and the window's first frames
    read -r app x <<<"$(cpu_both 8)"
    total_app=$(awk -v t="$total_app" -v a="$app" 'BEGIN { print t + a }')
    total_x=$(awk -v t="$total_x" -v a="$x" 'BEGIN { print t + a }')
    e2e_wait_for 5 bash -c '! xdotool search --onlyvisible --name "^Quelmo Disco\$" >/dev/null 2>&1' ||
        e2e_fail "the full-screen disco did not close itself"
    sleep 1
done
report full "$(awk -v t="$total_app" 'BEGIN { print t / 3 }')" "$(awk -v t="$total_x" 'BEGIN { print t / 3 }')" \
    "3 x 8" "$load" "the window ${E2E_SCREEN%x*}"

xdotool windowunmap "$E2E_WINDOW"
sleep 1
measure hidden "disco on"
xdotool windowmap "$E2E_WINDOW"
sleep 1
key d
e2e_wait_for 3 disco_off || e2e_fail "D did not turn disco mode off"
sleep 3
measure idle "again"
