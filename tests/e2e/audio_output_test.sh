#!/usr/bin/env bash
# The deck's sound output as a user's desktop sees it: a live stream on the sound server as soon as
# the deck shows; and a deck started before its sound server (a login whose autostart races the
# sound server) says so, plays on silently and connects as soon as the server appears: the next key
# is heard.
# Usage: audio_output_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"
LOST="Sound server lost — reconnecting…"

e2e_start_display
e2e_start_sound

# "SINK CORKED" of Quelmo's output stream: the sink's index, and yes or no.
_quelmo_stream() {
    pactl list sink-inputs | awk '
        /^Sink Input/ { sink = ""; corked = ""; app = "" }
        /^[[:space:]]*Sink:/ { sink = $2 }
        /^[[:space:]]*Corked:/ { corked = $2 }
        /media.name = "Quelmo output"/ { app = 1 }
        app && sink != "" && corked != "" { print sink, corked; exit }'
}
_quelmo_stream_on_test_sink() {
    local sink corked
    read -r sink corked <<<"$(_quelmo_stream)"
    [[ -n "$sink" && "$sink" == "$(pactl list short sinks | awk '$2=="quelmo_test"{print $1}')" ]]
}
_banner_gone() { ! e2e_is_listed "$LOST"; }

e2e_note "the deck opens a live output stream on the sound server"
e2e_launch_deck
e2e_check "Quelmo's stream plays into the null sink" e2e_wait_for 10 _quelmo_stream_on_test_sink
read -r _ corked <<<"$(_quelmo_stream)"
e2e_check "the stream is running, not corked ($corked)" test "$corked" = no
e2e_check "no start failure was logged" bash -c "! grep -q 'engine start failed' '$E2E_ROOT/app.log'"
e2e_stop_app

# The latency a user sets reaches the server: it holds about half of it in the stream's buffer (the
# rest in the sink's), and the default's buffer is a few milliseconds.
_quelmo_buffer_ms() {
    pactl list sink-inputs | awk '
        /^Sink Input/ { buffer = "" }
        /Buffer Latency:/ { buffer = $3 }
        /media.name = "Quelmo output"/ && buffer != "" { printf "%d\n", buffer / 1000; exit }'
}
for asked in 300 ""; do
    e2e_launch_deck QUELMO_OUTPUT_LATENCY_MS="$asked"
    e2e_wait_for 10 _quelmo_stream_on_test_sink || e2e_fail "no stream with QUELMO_OUTPUT_LATENCY_MS=$asked"
    buffer=$(_quelmo_buffer_ms)
    if [[ -n "$asked" ]]; then
        e2e_check "at QUELMO_OUTPUT_LATENCY_MS=300 the stream buffers $buffer ms" test "$buffer" -ge 100
    else
        e2e_check "empty (unset), the stream buffers $buffer ms" test "$buffer" -lt 30
    fi
    e2e_stop_app
done
e2e_check "the stream goes away with the application" e2e_wait_for 10 bash -c "! pactl list sink-inputs | grep -q 'application.name = \"Quelmo\"'"

e2e_note "a deck started before its sound server connects when the server appears"
e2e_kill_sound
e2e_launch_deck
e2e_wait_for 10 e2e_is_listed "$LOST" || e2e_fail "the deck does not say that the sound server is missing"
e2e_check "exactly one start-failure line" test "$(grep -c '^Quelmo: engine start failed: ' "$E2E_ROOT/app.log")" -eq 1
e2e_screenshot deck-without-sound-server
sleep 3 # a while without a server: the deck keeps trying
e2e_check "the application is still running" kill -0 "$E2E_APP_PID"
e2e_restart_sound
e2e_check "the deck's stream appears on the server" e2e_wait_for 10 _quelmo_stream_on_test_sink
e2e_check "the banner goes" e2e_wait_for 10 _banner_gone
kicks=$(e2e_kicks_after_key late)
e2e_check "the kick played after the server appeared is heard ($kicks kick)" test "$kicks" = 1
e2e_stop_app

e2e_note "all audio output checks passed"
