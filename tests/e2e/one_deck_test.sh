#!/usr/bin/env bash
# Quelmo as the desktop meets it: the command line in a terminal without a display, the window's
# identity, and one deck per user however often it is launched.
# Usage: one_deck_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_note "the command line answers without a display or a sound server"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY PULSE_SERVER=unix:/nonexistent "$E2E_APP" --version)
e2e_check "--version prints the version ($out)" grep -qxE 'Quelmo [0-9]+\.[0-9]+\.[0-9]+' <<<"$out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$E2E_APP" --help)
e2e_check "--help names the options" grep -q -- '--version' <<<"$out"
e2e_check "--help names the environment a user may set" grep -q 'QUELMO_PERFORM_CARD' <<<"$out"
status=0
err=$(env -u DISPLAY "$E2E_APP" --no-such-option 2>&1 >/dev/null) || status=$?
e2e_check "an unknown option fails (status $status)" test "$status" -eq 2
e2e_check "and says which ($err)" grep -q "no-such-option" <<<"$err"

e2e_start_display
e2e_start_sound

e2e_note "the window carries the application id"
e2e_launch_deck
e2e_check "its class is the desktop entry's StartupWMClass" \
    bash -c "xprop -id '$E2E_WINDOW' WM_CLASS | grep -qF '\"org.quelmo.quelmo\", \"Quelmo\"'"
e2e_check "its class matches the installed desktop entry" grep -qx 'StartupWMClass=org.quelmo.quelmo' \
    "$E2E_HERE/../../data/org.quelmo.quelmo.desktop"

e2e_note "a second launch brings the running deck forward and leaves"
first=$E2E_APP_PID
xmessage -name quelmo-test-other "another application" &
other_pid=$!
e2e_wait_for 10 bash -c "xdotool search --onlyvisible --classname quelmo-test-other" ||
    e2e_fail "the other application's window did not appear"
other=$(xdotool search --onlyvisible --classname quelmo-test-other | head -n 1)
xdotool windowfocus --sync "$other"
e2e_check "the other application has the focus" test "$(xdotool getwindowfocus)" = "$other"
second_log="$E2E_ROOT/second.log"
status=0
timeout 20 env HOME="$E2E_ROOT/home" XDG_CONFIG_HOME="$E2E_ROOT/home/.config" XDG_RUNTIME_DIR="$E2E_ROOT/runtime" \
    QT_QPA_PLATFORM=xcb "$E2E_APP" >"$second_log" 2>&1 || status=$?
e2e_check "the second launch ended with status 0 (got $status)" test "$status" -eq 0
e2e_check "and said why" grep -q "already running" "$second_log"
e2e_check "the running deck took the focus" \
    e2e_wait_for 5 bash -c "test \"\$(xdotool getwindowfocus)\" = '$E2E_WINDOW'"
e2e_check "the first deck still runs" kill -0 "$first"
e2e_check "one Quelmo window" test "$(xdotool search --onlyvisible --name '^Quelmo$' | wc -l)" -eq 1
e2e_check "it still plays: the Kick pad is heard" test "$(e2e_kicks_after_key after-second-launch)" = 1
kill "$other_pid" 2>/dev/null || true

e2e_note "a running deck that hangs does not hang the second launch"
kill -STOP "$first"
status=0
timeout 20 env HOME="$E2E_ROOT/home" XDG_CONFIG_HOME="$E2E_ROOT/home/.config" XDG_RUNTIME_DIR="$E2E_ROOT/runtime" \
    QT_QPA_PLATFORM=xcb "$E2E_APP" >"$second_log" 2>&1 || status=$?
kill -CONT "$first"
e2e_check "the second launch ended with status 0 (got $status)" test "$status" -eq 0
e2e_check "and said the running deck did not answer" grep -q "did not answer" "$second_log"

e2e_note "a deck that crashed leaves a socket that is not a running deck"
e2e_stop_app KILL
e2e_check "the crashed deck's socket is left behind" test -S "$E2E_ROOT/runtime/org.quelmo.quelmo.socket"
e2e_relaunch_deck
e2e_check "the new deck did not take it for a running one" bash -c "! grep -q 'already running' '$E2E_ROOT/app.log'"
e2e_stop_app

e2e_note "two launches at the same moment give one deck"
e2e_launch_deck_pair() {
    local i
    for i in 1 2; do
        env HOME="$E2E_ROOT/home" XDG_CONFIG_HOME="$E2E_ROOT/home/.config" XDG_RUNTIME_DIR="$E2E_ROOT/runtime" \
            QUELMO_YTDLP_PROBE_PATHS="$E2E_ROOT/absent/yt-dlp" QUELMO_TEST_SCREEN_FILE="$E2E_ROOT/screens" \
            QT_QPA_PLATFORM=xcb "$E2E_APP" >"$E2E_ROOT/pair$i.log" 2>&1 &
        pair_pids[i]=$!
    done
}
pair_pids=()
e2e_launch_deck_pair
e2e_wait_window
e2e_wait_screen deck
sleep 2
alive=0
for pid in "${pair_pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=$((alive + 1)); done
e2e_check "one of the two runs ($alive running)" test "$alive" -eq 1
e2e_check "the other said so" bash -c "cat '$E2E_ROOT'/pair?.log | grep -q 'already running'"
e2e_check "one Quelmo window" test "$(xdotool search --onlyvisible --name '^Quelmo$' | wc -l)" -eq 1
for pid in "${pair_pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done

e2e_note "all one-deck checks passed"
