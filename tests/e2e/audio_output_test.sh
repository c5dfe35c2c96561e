#!/usr/bin/env bash
# The deck's sound output as a user's desktop sees it: a live stream on the sound server as soon as
# the deck shows, and a calm failure when there is no sound server at all.
# Usage: audio_output_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound

_quelmo_stream_on_test_sink() {
    pactl list sink-inputs | awk '
        /^Sink Input/ {sink=""; app=""}
        /^[[:space:]]*Sink:/ {sink=$2}
        /application.name = "Quelmo"/ {app=1}
        app && sink != "" {print sink; exit}' | grep -qx "$(pactl list short sinks | awk '$2=="quelmo_test"{print $1}')"
}

e2e_note "the deck opens a live output stream on the sound server"
e2e_launch_deck
e2e_check "Quelmo's stream plays into the null sink" e2e_wait_for 10 _quelmo_stream_on_test_sink
e2e_check "the stream is running, not corked" bash -c "pactl list sink-inputs | grep -q 'Corked: no'"
e2e_check "no start failure was logged" bash -c "! grep -q 'engine start failed' '$E2E_ROOT/app.log'"
e2e_stop_app
e2e_check "the stream goes away with the application" e2e_wait_for 10 bash -c "! pactl list sink-inputs | grep -q 'application.name = \"Quelmo\"'"

e2e_note "without a sound server the deck still shows and the failure is logged once"
e2e_launch_deck "PULSE_SERVER=unix:$E2E_ROOT/no-such-server"
sleep 2
e2e_check "the application is still running" kill -0 "$E2E_APP_PID"
e2e_check "exactly one start-failure line" test "$(grep -c '^Quelmo: engine start failed: ' "$E2E_ROOT/app.log")" -eq 1
e2e_screenshot deck-without-sound-server
e2e_stop_app

e2e_note "all audio output checks passed"
