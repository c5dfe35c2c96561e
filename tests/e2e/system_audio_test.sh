#!/usr/bin/env bash
# System audio as a user meets it: START finds no "Quelmo Capture" and asks; "Create" makes it and
# starts; another application's tone played into it is heard at Quelmo's output through the rack,
# at the panel's level; STOP removes the output. ROUTE ALL APPS then makes it the default output:
# an application playing to the default is heard through Quelmo, Quelmo's own sound still reaches
# the speakers (the test sink), and STOP gives the default back. A "Quelmo Capture" left by a run
# that was killed is reused, not duplicated, and removed on STOP. After the sound server restarts,
# START works again; and a run killed while routing every application leaves the default output on
# Quelmo Capture, which the next run gives back.
# Usage: system_audio_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
tone() { # HZ SECONDS [DEVICE]: another application playing a sine of amplitude 0.5
    local device=()
    [[ -n "${3:-}" ]] && device=(--device="$3")
    sox -n -r 44100 -c 2 -b 16 -t wav - synth "$2" sine "$1" vol 0.5 2>/dev/null |
        pacat "${device[@]}" --file-format=wav --client-name="other application"
}
capture_sinks() { pactl list short sinks | awk '$2 == "quelmo_capture"' | wc -l; }
default_sink() { pactl get-default-sink; }
level_of() { # RECORDING HZ -> the tone's amplitude
    /usr/bin/python3 "$E2E_HERE/tone_levels.py" "$1" "$2" | awk '{print $2}'
}

e2e_launch_deck
e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "Quelmo Capture Not Set Up" || e2e_fail "START did not ask to create Quelmo Capture"
e2e_screenshot capture-ask
e2e_click_named "Create"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'" ||
    e2e_fail "capture did not start"
e2e_check "one capture sink" test "$(capture_sinks)" = 1
e2e_check "the default output is untouched" test "$(default_sink)" = quelmo_test

tone 660 3 quelmo_capture &
other=$!
sleep 1
e2e_record_start full
sleep 1.5
e2e_record_stop
wait "$other"
full=$(level_of "$E2E_ROOT/full.wav" 660)
e2e_note "a 0.5 tone into Quelmo Capture, level 80 %: heard at $full"
# Through the import chain and the rack at their defaults: the capture level (0.8), then the master
# (0.9).
e2e_check "the tone comes through at the capture and master levels" \
    awk "BEGIN { want = 0.5 * 0.8 * 0.9; exit !($full > 0.9 * want && $full < 1.1 * want) }"
e2e_screenshot capture-running
e2e_click_named "System audio STOP"
e2e_wait_for 10 bash -c "[[ \$(pactl list short sinks | grep -c quelmo_capture) == 0 ]]" ||
    e2e_fail "STOP left Quelmo Capture behind"

# Route every application: the default output becomes Quelmo Capture, Quelmo stays on its sink.
e2e_click_named "ROUTE ALL APPS"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Every app now plays into 'Quelmo Capture'" ||
    e2e_fail "ROUTE ALL APPS did not start capture"
e2e_check "Quelmo Capture is the default output" test "$(default_sink)" = quelmo_capture
tone 880 3 &
other=$!
sleep 1
e2e_record_start routed
sleep 1.5
e2e_record_stop
wait "$other"
routed=$(level_of "$E2E_ROOT/routed.wav" 880)
e2e_note "a tone played to the default output, heard through Quelmo at $routed"
e2e_check "an application on the default output is heard through Quelmo" awk "BEGIN { exit !($routed > 0.2) }"
e2e_click_named "System audio STOP"
e2e_wait_for 10 bash -c "[[ \$(pactl get-default-sink) == quelmo_test ]]" || e2e_fail "STOP did not give the default back"
e2e_check "STOP removed Quelmo Capture" test "$(capture_sinks)" = 0

# A run killed while capturing leaves its sink; the next run reuses it and removes it on STOP.
e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "Quelmo Capture Not Set Up" || e2e_fail "START did not ask again"
e2e_click_named "Create"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'" ||
    e2e_fail "capture did not start again"
e2e_stop_app KILL
e2e_check "the killed run left its sink" test "$(capture_sinks)" = 1
e2e_launch_deck
e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'" ||
    e2e_fail "the next run did not reuse the sink left behind"
e2e_check "still one capture sink" test "$(capture_sinks)" = 1
e2e_click_named "System audio STOP"
e2e_wait_for 10 bash -c "[[ \$(pactl list short sinks | grep -c quelmo_capture) == 0 ]]" ||
    e2e_fail "STOP left the reused sink behind"

# The sound server restarts under the deck: SYSTEM AUDIO starts again all the same.
e2e_restart_sound
e2e_wait_for 10 bash -c "pactl list sink-inputs | grep -q 'Quelmo output'" || e2e_fail "the deck did not reconnect"
e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "Quelmo Capture Not Set Up" || e2e_fail "START after a server restart did not ask"
e2e_click_named "Create"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'" ||
    e2e_fail "capture did not start after the sound server restarted"
e2e_click_named "System audio STOP"
e2e_wait_for 10 bash -c "[[ \$(pactl list short sinks | grep -c quelmo_capture) == 0 ]]" ||
    e2e_fail "STOP after a server restart left Quelmo Capture behind"

# A run killed while every application plays into Quelmo Capture leaves it the default output; the
# next run (the same user, the same settings) gives the default back before it plays.
e2e_click_named "ROUTE ALL APPS"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Every app now plays into 'Quelmo Capture'" ||
    e2e_fail "ROUTE ALL APPS did not start capture again"
e2e_stop_app KILL
e2e_check "the killed run left Quelmo Capture the default output" test "$(default_sink)" = quelmo_capture
e2e_relaunch_deck
e2e_wait_for 10 bash -c "[[ \$(pactl get-default-sink) == quelmo_test ]]" ||
    e2e_fail "the next run did not give the default output back"
e2e_check "the log says so" grep -q "gave it back to quelmo_test" "$E2E_ROOT/app.log"
sleep 0.5
kicks=$(e2e_kicks_after_key restored)
e2e_check "the deck plays on the speakers again, not into its capture sink ($kicks kick)" test "$kicks" = 1
e2e_note "ok"
