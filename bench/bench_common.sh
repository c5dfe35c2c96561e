# Pieces shared by the benchmarks that run the real application or a bench program on the private
# sound server. Source it after tests/e2e/harness.sh, with $build set to the build directory.
#
#   bench_load                         the machine's load averages, to print beside a figure
#   bench_cpu_ticks PID                user + system clock ticks of a process so far (all threads)
#   bench_rss_mb PID                   its resident memory, MB
#   bench_cpu_over PID SECONDS         the process's CPU over the next SECONDS, % of one core
#   bench_record_start NAME            record the null sink's monitor in 64-frame blocks stamped on
#   bench_record_stop                  CLOCK_MONOTONIC: $E2E_ROOT/NAME.f32 and NAME.blocks
#   bench_press NAME COUNT [MS]        COUNT XTest clicks at the pointer, MS apart (500), their
#                                      press and release stamps appended to $E2E_ROOT/NAME.presses
#   bench_key NAME KEYS COUNT [MS]     the same with XTest key presses (KEYS: keysym names, comma
#                                      separated, pressed in turn) to the window with the focus
#   bench_bare_client NAME COUNT [KEY] the baseline: a bare libpulse client (256-frame buffer) that
#                                      plays a burst on every click or key press, alone on the sink,
#                                      clicked (or KEY pressed) COUNT times and recorded under NAME
#   bench_add_audio INDEX NAME         add a file through "ADD AUDIO" and the file dialog: the dialog
#                                      opens in ~/Music, sorted by name, where it was left (on the
#                                      first file the first time); the file at INDEX in that list is
#                                      chosen with the arrow keys; waits for its row ("Play NAME")

bench_load() { cut -d' ' -f1-3 /proc/loadavg; }

bench_cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

bench_rss_mb() { awk '/VmRSS/ {printf "%.0f", $2 / 1024}' "/proc/$1/status"; }

bench_cpu_over() {
    local ticks0 ticks1
    ticks0=$(bench_cpu_ticks "$1")
    sleep "$2"
    ticks1=$(bench_cpu_ticks "$1")
    awk -v t="$((ticks1 - ticks0))" -v hz="$(getconf CLK_TCK)" -v s="$2" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
}

_bench_recorder=""
bench_record_start() {
    "$build/bench/quelmo_monitor_recorder" quelmo_test.monitor "$E2E_ROOT/$1" 64 >"$E2E_ROOT/$1.log" 2>&1 &
    _bench_recorder=$!
    E2E_SERVER_PIDS+=("$_bench_recorder")
    e2e_wait_for 10 grep -q ready "$E2E_ROOT/$1.log" || e2e_fail "the recorder did not start"
}
bench_record_stop() {
    kill -INT "$_bench_recorder"
    wait "$_bench_recorder" || e2e_fail "the recorder failed: $(cat "$E2E_ROOT"/*.log)"
}

bench_press() {
    "$build/bench/quelmo_xtest_press" --button 1 "$2" "${3:-500}" >>"$E2E_ROOT/$1.presses"
}

bench_key() {
    "$build/bench/quelmo_xtest_press" --key "$2" "$3" "${4:-500}" >>"$E2E_ROOT/$1.presses"
}

bench_bare_client() {
    local probe
    "$build/bench/quelmo_latency_probe" >"$E2E_ROOT/probe.log" 2>&1 &
    probe=$!
    E2E_SERVER_PIDS+=("$probe")
    e2e_wait_for 10 grep -q ready "$E2E_ROOT/probe.log" || e2e_fail "latency probe did not start"
    xdotool mousemove --sync 640 512
    sleep 1
    bench_record_start "$1"
    sleep 0.5
    if [[ -n "${3:-}" ]]; then bench_key "$1" "$3" "$2"; else bench_press "$1" "$2"; fi
    sleep 0.5
    bench_record_stop
    kill "$probe"
    wait "$probe" 2>/dev/null || true # ended by the signal
}

_bench_dialog_index=0
bench_add_audio() {
    local index=$1 name=$2 steps
    steps=$((index - _bench_dialog_index))
    e2e_click_named "ADD AUDIO"
    sleep 1
    xdotool windowfocus --sync "$E2E_WINDOW"
    if ((steps > 0)); then
        xdotool key --clearmodifiers --repeat "$steps" --delay 30 Down
    elif ((steps < 0)); then
        xdotool key --clearmodifiers --repeat $((-steps)) --delay 30 Up
    fi
    sleep 0.2
    xdotool key --clearmodifiers Return
    _bench_dialog_index=$index
    e2e_wait_for 120 e2e_is_listed "Play $name" || e2e_fail "no row for $name after choosing it in the dialog"
}
