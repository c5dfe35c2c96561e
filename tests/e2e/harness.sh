# End-to-end harness: source it from a test script.
#
# Starts a private X server (Xvfb) on a free display and a private PulseAudio daemon whose only sink
# is a null sink ("quelmo_test"), each with its own runtime directory and socket, so nothing of the
# user's session is touched and nothing leaks out. Launches the real application with a temporary
# HOME, records the null sink's monitor, drives the window with xdotool, takes screenshots, and
# stops everything it started when the script exits.
#
#   e2e_start_display / e2e_start_sound        start the servers (exports DISPLAY, PULSE_SERVER)
#   e2e_new_home                               a fresh HOME for the next launch
#   e2e_launch_app [VAR=value ...]             start the app with extra environment
#   e2e_launch_deck [VAR=value ...]            a user who has seen setup: fresh HOME, launch, deck shown
#   e2e_relaunch_deck [VAR=value ...]          launch again in the same HOME (no yt-dlp); deck shown
#   e2e_wait_window                            wait for the visible "Quelmo" window; sets E2E_WINDOW
#   e2e_wait_screen NAME                       wait until the root view of the app launched last
#                                              reports screen NAME (the deck: with all its panels)
#   e2e_screenshot NAME                        save a PNG of the screen into the artefacts folder
#   e2e_window_screenshot FILE                 save a PNG of the Quelmo window alone as FILE
#   e2e_show_named NAME                        scroll the control with that accessible name into view;
#                                              sets E2E_AT to its window-relative "x y width height"
#   e2e_point_named NAME [FRACTION]            move the pointer over it, in the middle or at FRACTION
#                                              of its width
#   e2e_click_named NAME [FRACTION]            click it there
#   e2e_is_shown NAME                          whether it is on show now
#   e2e_is_listed NAME                         whether the app lists it at all (on show or scrolled away)
#   e2e_is_listed_starting TEXT                whether it lists a control whose name starts with TEXT
#   e2e_close_window / e2e_wait_app_exit       close like a window manager does; wait for the exit
#   e2e_quit_by_closing                        check the app still runs, close it, check it exits with 0
#   e2e_stop_app [SIGNAL]                      end the app (TERM unless told) and reap it
#   e2e_record_start [NAME] [SOURCE] / e2e_record_stop
#                                              record the null sink (or SOURCE) into $E2E_ROOT/NAME.wav
#   e2e_add_track DOWNS NAME                   add a file of ~/Music through "ADD AUDIO" and the file
#                                              dialog: DOWNS presses of Down from the first by name
#   e2e_kicks_after_key NAME                   records NAME while the 1 key is pressed once; prints the kicks heard
#   e2e_grid_take NAME SECONDS BPM MIN_HITS [SOURCE]
#                                              record, then check metronome ticks and kicks on the beat grid
#   e2e_check_grid WAV NAME BPM GAPS MIN_HITS  that check on a recording made otherwise
#   e2e_busy_start / e2e_busy_stop             keep both cores busy with two spinning processes
#   e2e_settings_file                          the QSettings file of the current HOME
#   e2e_check CONDITION_DESCRIPTION CMD...     run CMD, fail the test with the description if it fails
#
# The X screen is 1280x1024 at 24 bits unless E2E_SCREEN (WIDTHxHEIGHTxDEPTH) says otherwise.

set -Eeuo pipefail

E2E_APP=${E2E_APP:?set E2E_APP to the quelmo binary}
E2E_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/quelmo-e2e.XXXXXX")
E2E_ARTIFACTS=${QUELMO_E2E_ARTIFACTS:-$E2E_ROOT/artifacts}
E2E_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_SERVER_PIDS=()
E2E_APP_PID=""
E2E_RECORD_PID=""
E2E_WINDOW=""
E2E_AT=""
# The app keeps this file listing every control with an accessible name:
# name<TAB>centre x<TAB>centre y<TAB>width<TAB>height<TAB>shown (1/0), window coordinates.
E2E_GEOMETRY="$E2E_ROOT/geometry"
mkdir -p "$E2E_ARTIFACTS"

e2e_note() { echo "[e2e] $*"; }

e2e_fail() {
    trap - ERR
    echo "[e2e] FAIL: $*" >&2
    if [[ -f "$E2E_ROOT/app.log" ]]; then
        echo "[e2e] application log:" >&2
        sed 's/^/    /' "$E2E_ROOT/app.log" >&2
    fi
    exit 1
}

e2e_check() {
    local what=$1
    shift
    "$@" || e2e_fail "$what"
    e2e_note "ok: $what"
}

# Two processes that keep both cores of the machine busy until e2e_busy_stop (or the end).
E2E_BUSY_PIDS=()
e2e_busy_start() {
    for _ in 1 2; do
        bash -c 'while :; do :; done' &
        E2E_BUSY_PIDS+=($!)
    done
}
e2e_busy_stop() {
    [[ ${#E2E_BUSY_PIDS[@]} -gt 0 ]] || return 0
    kill "${E2E_BUSY_PIDS[@]}" 2>/dev/null || true
    wait "${E2E_BUSY_PIDS[@]}" 2>/dev/null || true
    E2E_BUSY_PIDS=()
    return 0
}

e2e_cleanup() {
    local status=$?
    trap - ERR
    set +e
    e2e_busy_stop
    [[ -n "$E2E_RECORD_PID" ]] && kill "$E2E_RECORD_PID" 2>/dev/null
    [[ -n "$E2E_APP_PID" ]] && kill "$E2E_APP_PID" 2>/dev/null
    for pid in "${E2E_SERVER_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    [[ -s "$E2E_ROOT/pulse/restart" ]] && "$E2E_ROOT/pulse/restart" kill
    for pid in "$E2E_RECORD_PID" "$E2E_APP_PID" "${E2E_SERVER_PIDS[@]}"; do
        [[ -n "$pid" ]] && wait "$pid" 2>/dev/null
    done
    if [[ $status -ne 0 ]]; then
        e2e_note "artefacts kept in $E2E_ARTIFACTS"
    fi
    rm -rf "$E2E_ROOT/pulse" "$E2E_ROOT/home" "$E2E_ROOT/runtime"
    [[ "$E2E_ARTIFACTS" == "$E2E_ROOT"/* && $status -ne 0 ]] || rm -rf "$E2E_ROOT"
    exit $status
}
trap e2e_cleanup EXIT
trap 'echo "[e2e] FAIL: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR
trap 'exit 130' INT TERM

# Polls CMD every 0.1 s for up to SECONDS seconds.
e2e_wait_for() {
    local seconds=$1
    shift
    local tries=$((seconds * 10))
    while ((tries-- > 0)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

e2e_start_display() {
    # The server picks a free display itself and says which once it accepts connections: tests
    # starting side by side never end up sharing one.
    local pid
    rm -f "$E2E_ROOT/display" # a second server in one test must not read the first one's number
    Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN:-1280x1024x24}" -nolisten tcp -noreset 3>"$E2E_ROOT/display" \
        >"$E2E_ROOT/xvfb.log" 2>&1 &
    pid=$!
    if ! e2e_wait_for 10 test -s "$E2E_ROOT/display"; then
        kill "$pid" 2>/dev/null || true
        cat "$E2E_ROOT/xvfb.log" >&2
        e2e_fail "no X server"
    fi
    export DISPLAY=":$(tr -dc 0-9 <"$E2E_ROOT/display")"
    E2E_SERVER_PIDS+=("$pid")
    e2e_note "X server on $DISPLAY"
}

e2e_start_sound() {
    local dir="$E2E_ROOT/pulse"
    mkdir -p "$dir/runtime" "$dir/state" "$dir/home"
    chmod 700 "$dir/runtime"
    cat >"$dir/default.pa" <<PA
load-module module-null-sink sink_name=quelmo_test rate=44100 channels=2 sink_properties=device.description=QuelmoTest
load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1
set-default-sink quelmo_test
PA
    printf 'autospawn = no\n' >"$dir/client.conf"
    # The daemon is started (and, for tests of losing it, killed and started again on the same
    # socket) by a script of its own, which keeps the running daemon's id in $dir/daemon.pid.
    #
    # With it runs a silent client stream of 10 ms blocks into the test sink. An idle null sink
    # renders two seconds ahead in one go, so a stream that connects to it then waits up to two
    # seconds for its first pull, and every sound played meanwhile lands on one instant of its
    # timeline; a sound card pulls a new stream at once. The keeper stream keeps the test sink
    # pulling in small blocks, as a device does. Tests that look for the deck's stream look for it
    # by name.
    cat >"$dir/restart" <<SH
#!/usr/bin/env bash
# Kills the private sound server (if it runs) and, unless given "kill", starts it again.
for name in keeper daemon; do
    if [[ -s "$dir/\$name.pid" ]]; then
        pid=\$(cat "$dir/\$name.pid")
        kill -9 "\$pid" 2>/dev/null
        while kill -0 "\$pid" 2>/dev/null; do sleep 0.05; done
        rm -f "$dir/\$name.pid"
    fi
done
rm -f "$dir/native"
[[ "\${1:-}" == kill ]] && exit 0
HOME="$dir/home" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \\
    setsid pulseaudio -n --file="$dir/default.pa" --daemonize=no --exit-idle-time=-1 --use-pid-file=no \\
    --log-target=stderr >>"$E2E_ROOT/pulseaudio.log" 2>&1 </dev/null &
echo \$! >"$dir/daemon.pid"
export PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf"
for _ in \$(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
setsid pacat --playback --device=quelmo_test --latency-msec=10 --raw --format=s16le --rate=44100 --channels=2 \\
    --client-name="test sink keeper" --stream-name="test sink keeper" /dev/zero </dev/null >/dev/null 2>&1 &
echo \$! >"$dir/keeper.pid"
# The sink has rendered ahead already; a suspend and resume starts its clock again from now, at the
# keeper's block size.
for _ in \$(seq 50); do pactl list short sink-inputs | grep -q . && break; sleep 0.05; done
pactl suspend-sink quelmo_test 1 && pactl suspend-sink quelmo_test 0
SH
    chmod +x "$dir/restart"
    "$dir/restart"
    export QUELMO_TEST_SOUND_RESTART="$dir/restart"
    export PULSE_SERVER="unix:$dir/native"
    export PULSE_CLIENTCONFIG="$dir/client.conf"
    e2e_wait_for 10 pactl info || { cat "$E2E_ROOT/pulseaudio.log" >&2; e2e_fail "private sound server did not start"; }
    e2e_note "sound server on $PULSE_SERVER"
}

# Kills the private sound server; e2e_restart_sound starts it again on the same socket.
e2e_kill_sound() { "$E2E_ROOT/pulse/restart" kill; }
e2e_restart_sound() {
    "$E2E_ROOT/pulse/restart"
    e2e_wait_for 10 pactl info || e2e_fail "private sound server did not start again"
}

e2e_new_home() {
    rm -rf "$E2E_ROOT/home" "$E2E_ROOT/runtime"
    mkdir -p "$E2E_ROOT/home" "$E2E_ROOT/runtime"
    chmod 700 "$E2E_ROOT/runtime"
    : >"$E2E_ROOT/screens"
    rm -f "$E2E_GEOMETRY"
}

e2e_settings_file() { echo "$E2E_ROOT/home/.config/Quelmo/Quelmo.conf"; }

e2e_launch_app() {
    [[ -d "$E2E_ROOT/home" ]] || e2e_new_home
    # The screens an earlier launch reported are not this one's.
    E2E_SCREENS_BEFORE=$(wc -l 2>/dev/null <"$E2E_ROOT/screens" || echo 0)
    env HOME="$E2E_ROOT/home" XDG_CONFIG_HOME="$E2E_ROOT/home/.config" XDG_RUNTIME_DIR="$E2E_ROOT/runtime" \
        QUELMO_TEST_SCREEN_FILE="$E2E_ROOT/screens" QUELMO_TEST_GEOMETRY_FILE="$E2E_GEOMETRY" \
        QT_QPA_PLATFORM=xcb "$@" \
        "$E2E_APP" >"$E2E_ROOT/app.log" 2>&1 &
    E2E_APP_PID=$!
}

# xdotool can trip over windows that vanish while it searches; treat that as "not yet".
e2e_launch_deck() {
    e2e_new_home
    mkdir -p "$E2E_ROOT/home/.config/Quelmo"
    printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"
    e2e_relaunch_deck "$@"
}

e2e_relaunch_deck() {
    e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp" "$@"
    e2e_wait_window
    e2e_wait_screen deck
}

_e2e_visible_window() {
    local id
    id=$(xdotool search --onlyvisible --name '^Quelmo$' 2>/dev/null | head -n 1) || true
    [[ -n "$id" ]] && echo "$id"
}

e2e_wait_window() {
    local tries=300 id
    while ((tries-- > 0)); do
        if id=$(_e2e_visible_window); then
            E2E_WINDOW=$id
            return 0
        fi
        sleep 0.1
    done
    e2e_fail "the Quelmo window did not appear"
}

e2e_window_size() { xdotool getwindowgeometry "$E2E_WINDOW" | awk '/Geometry/ {print $2}'; }

e2e_current_screen() { tail -n "+$((${E2E_SCREENS_BEFORE:-0} + 1))" "$E2E_ROOT/screens" 2>/dev/null | tail -n 1; }

_e2e_screen_is() { test "$(e2e_current_screen)" = "$1"; }

e2e_wait_screen() {
    local want=$1
    e2e_wait_for 15 _e2e_screen_is "$want" ||
        e2e_fail "expected the $want screen, the app reports '$(e2e_current_screen)'"
}

e2e_screenshot() {
    sleep 0.5 # let fade-in animations settle
    import -display "$DISPLAY" -window root "$E2E_ARTIFACTS/$1.png"
    e2e_note "screenshot $E2E_ARTIFACTS/$1.png"
}

e2e_window_screenshot() {
    sleep 0.5
    # From the screen, cut to the window: grabbing the window itself gives black on Xvfb.
    local x y w h
    read -r x y w h < <(xwininfo -id "$E2E_WINDOW" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^ *Width/ {w=$NF} /^ *Height/ {h=$NF} END {print x, y, w, h}')
    import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$1"
    e2e_note "screenshot $1"
}

# "x y width height shown" of the named control, nothing when the app lists no such control.
# Asks the app for its named controls as they are now (it writes the file on SIGUSR1).
_e2e_geometry() {
    rm -f "$E2E_GEOMETRY"
    kill -USR1 "$E2E_APP_PID" 2>/dev/null || return 0
    e2e_wait_for 5 test -e "$E2E_GEOMETRY" || return 0
    awk -F'\t' -v name="$1" '$1 == name { print $2, $3, $4, $5, $6; exit }' "$E2E_GEOMETRY" 2>/dev/null || true
}

e2e_is_shown() {
    local x y w h shown
    read -r x y w h shown <<<"$(_e2e_geometry "$1")"
    [[ "${shown:-0}" == 1 ]]
}

# The app lists the control, in view or scrolled out of it.
e2e_is_listed() { [[ -n "$(_e2e_geometry "$1")" ]]; }

# The app lists a control whose name starts with the text (a status line with figures in it).
e2e_is_listed_starting() {
    rm -f "$E2E_GEOMETRY"
    kill -USR1 "$E2E_APP_PID" 2>/dev/null || return 1
    e2e_wait_for 5 test -e "$E2E_GEOMETRY" || return 1
    awk -F'\t' -v prefix="$1" 'index($1, prefix) == 1 { found = 1; exit } END { exit !found }' "$E2E_GEOMETRY"
}

# The app lists a control scrolled out of view with where it would be; the wheel, over the middle
# of the window, brings it in one notch at a time.
e2e_show_named() {
    local name=$1 tries=120 size x y w h shown
    size=$(e2e_window_size)
    # No --sync on these moves: xdotool then waits 15 s whenever the pointer is already there. The
    # server takes the fake motion before the wheel or button that follows it.
    xdotool mousemove --window "$E2E_WINDOW" $((${size%x*} / 2)) $((${size#*x} / 2))
    while ((tries-- > 0)); do
        x="" y="" w="" h="" shown=""
        read -r x y w h shown <<<"$(_e2e_geometry "$name")"
        if [[ "$shown" == 1 ]]; then
            # A view still gliding after a wheel step takes the next press to stop itself instead
            # of passing it to the control: the control must stand still first.
            sleep 0.1
            if [[ "$(_e2e_geometry "$name")" == "$x $y $w $h $shown" ]]; then
                E2E_AT="$x $y $w $h"
                return 0
            fi
            continue
        fi
        if [[ -n "$y" ]]; then
            if ((y < ${size#*x} / 2)); then xdotool click 4; else xdotool click 5; fi
        fi
        sleep 0.15
    done
    e2e_fail "no control named \"$name\" came into view"
}

e2e_point_named() {
    local name=$1 fraction=${2:-0.5} x y w h
    e2e_show_named "$name"
    read -r x y w h <<<"$E2E_AT"
    x=$(awk -v x="$x" -v w="$w" -v f="$fraction" 'BEGIN { printf "%d", x + (f - 0.5) * w }')
    xdotool mousemove --window "$E2E_WINDOW" "$x" "$y"
}

e2e_click_named() {
    e2e_point_named "$@"
    xdotool click 1
}

# Gives the window keyboard focus (there is no window manager to do it), then presses the keys.
e2e_key() {
    xdotool windowfocus --sync "$E2E_WINDOW"
    xdotool key --clearmodifiers "$@"
}

e2e_close_window() { /usr/bin/python3 "$E2E_HERE/xclose.py" "$E2E_WINDOW"; }

# Waits for the app to exit; returns its exit status, or 124 when it is still running.
e2e_wait_app_exit() {
    local seconds=${1:-10}
    if e2e_wait_for "$seconds" bash -c "! kill -0 $E2E_APP_PID"; then
        local status=0
        wait "$E2E_APP_PID" || status=$?
        E2E_APP_PID=""
        return $status
    fi
    return 124
}

e2e_quit_by_closing() {
    local status=0
    e2e_check "the application is still running" kill -0 "$E2E_APP_PID"
    e2e_close_window
    e2e_wait_app_exit 10 || status=$?
    e2e_check "closing the window ended the process with status 0 (got $status)" test "$status" -eq 0
}

e2e_stop_app() {
    if [[ -n "$E2E_APP_PID" ]]; then
        kill -"${1:-TERM}" "$E2E_APP_PID" 2>/dev/null || true
        wait "$E2E_APP_PID" 2>/dev/null || true
        E2E_APP_PID=""
    fi
}

e2e_record_start() {
    E2E_RECORDING="$E2E_ROOT/${1:-recording}.wav"
    parec -d "${2:-quelmo_test.monitor}" --rate=44100 --channels=2 --format=s16le --file-format=wav \
        "$E2E_RECORDING" &
    E2E_RECORD_PID=$!
    # Recording begins once parec's stream is on the server: on a busy machine that takes a few
    # hundred ms, long enough to miss a key pressed at once (a kick lost from the recording).
    e2e_wait_for 10 _e2e_recording_runs || e2e_fail "parec's recording stream did not start"
}
_e2e_recording_runs() {
    pactl list source-outputs 2>/dev/null | grep -qF "application.process.id = \"$E2E_RECORD_PID\""
}

# The dialog opens in ~/Music with its file list focused, sorted by name, the first file current.
# Return on the current file chooses it; Down moves to the next one.
e2e_add_track() { # DOWNS NAME
    local i
    e2e_click_named "ADD AUDIO"
    sleep 1
    e2e_screenshot "dialog-$2"
    for ((i = 0; i < $1; ++i)); do e2e_key Down; sleep 0.2; done
    e2e_key Return
    e2e_wait_for 15 e2e_is_listed "Play $2" || e2e_fail "no row for $2 after choosing it in the dialog"
    e2e_note "row for $2 added"
}

e2e_kicks_after_key() {
    e2e_record_start "$1"
    e2e_key 1
    sleep 1
    e2e_record_stop
    /usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_RECORDING" kicks | awk '{print $2}'
}

e2e_record_stop() {
    [[ -n "$E2E_RECORD_PID" ]] || return 0
    kill -INT "$E2E_RECORD_PID" 2>/dev/null || true
    wait "$E2E_RECORD_PID" 2>/dev/null || true
    E2E_RECORD_PID=""
    cp "$E2E_RECORDING" "$E2E_ARTIFACTS/" 2>/dev/null || true
}

# Output gaps the application has logged so far.
e2e_gaps() { grep -o 'ran dry ([0-9]*' "$E2E_ROOT/app.log" | tail -1 | grep -o '[0-9]*$' || echo 0; }

# Checks the metronome's ticks and the kicks in WAV against a grid of one beat at BPM: at least
# MIN_HITS of each heard, every one on its grid to the sample, and the timeline broken and hits
# lost or damaged only by the GAPS output gaps logged meanwhile.
e2e_check_grid() { # WAV NAME BPM GAPS MIN_HITS
    local period sound count missing breaks damaged std worst std_ms worst_ms
    period=$(awk "BEGIN { printf \"%.6f\", 44100 * 60 / $3 }")
    for sound in tick kick; do
        read -r _ count missing breaks damaged std worst std_ms worst_ms < <(/usr/bin/python3 \
            "$E2E_HERE/grid_onsets.py" "$1" "$sound" "$period" "$4")
        e2e_note "$2 $sound: $count onsets, $missing missing, $breaks breaks and $damaged hits cut by $4 output" \
            "gaps; deviation std $std max $worst samples ($std_ms / $worst_ms ms)"
        e2e_check "$2: every $sound is heard ($count, $missing missing, of at least $5)" \
            awk "BEGIN { exit !($count + $missing >= $5) }"
        e2e_check "$2: every $sound lies on its grid to the sample" awk "BEGIN { exit !($worst == 0) }"
        e2e_check "$2: hits are lost or damaged only by output gaps" test $((missing + damaged)) -le "$4"
    done
}

e2e_grid_take() { # NAME SECONDS BPM MIN_HITS [SOURCE]
    local before
    before=$(e2e_gaps)
    e2e_record_start "$1" "${5:-}"
    sleep "$2"
    e2e_record_stop
    e2e_check_grid "$E2E_RECORDING" "$1" "$3" $(($(e2e_gaps) - before)) "$4"
}
