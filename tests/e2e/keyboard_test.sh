#!/usr/bin/env bash
# Playing the deck from the keyboard in its window: 1 plays the kick (heard as the deck synthesises
# it), "]" raises the tempo to 115, Space starts the transport and S stops it; typed into the
# YouTube field, "1" is text and plays nothing; pressed while another application has the focus,
# "1" still plays the kick and that application still gets the key.
# Usage: keyboard_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
# Any existing file stands in for yt-dlp, so the YouTube field is on show.
e2e_launch_deck "QUELMO_YTDLP_PROBE_PATHS=/bin/true"
sleep 2

e2e_record_start kick
sleep 0.3
e2e_key 1
sleep 1
e2e_record_stop
read -r _ onset correlation < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/kick.wav" kick)
e2e_note "kick from the 1 key at ${onset}s, correlation $correlation"
e2e_check "the 1 key plays the kick" awk "BEGIN { exit !($correlation > 0.9) }"

e2e_key bracketright
e2e_wait_for 3 e2e_is_listed "115 BPM" || e2e_fail "] did not raise the tempo to 115"
e2e_record_start clicks
e2e_key space
e2e_wait_for 3 e2e_is_listed "PAUSE" || e2e_fail "Space did not start the transport"
sleep 1.5
e2e_record_stop
read -r rms _ < <(/usr/bin/python3 "$E2E_HERE/tone_levels.py" "$E2E_ROOT/clicks.wav" 100)
e2e_note "transport started with Space: rms $rms"
e2e_check "the metronome's clicks are heard" awk "BEGIN { exit !($rms > 0.001) }"
e2e_screenshot keys-playing
e2e_key s
e2e_wait_for 3 e2e_is_listed "PLAY" || e2e_fail "S did not stop the transport"
e2e_record_start silence
sleep 1
e2e_record_stop
read -r rms _ < <(/usr/bin/python3 "$E2E_HERE/tone_levels.py" "$E2E_ROOT/silence.wav" 100)
e2e_check "S leaves silence (rms $rms)" awk "BEGIN { exit !($rms < 0.001) }"

# With Caps Lock on, the plain keys are not shortcuts: M does not start the transport.
xdotool windowfocus --sync "$E2E_WINDOW"
xdotool key Caps_Lock
xdotool key m # not e2e_key: --clearmodifiers would lift Caps Lock for the press
sleep 0.5
e2e_check "Caps Lock with M leaves the transport stopped" e2e_is_listed "PLAY"
xdotool key Caps_Lock

# D lights the room; F fills the screen for ten seconds, while clicks still reach the deck.
e2e_key d
e2e_wait_for 3 e2e_is_shown "DISCO MODE" || e2e_fail "D did not turn the disco light bar on"
sleep 1.8 # past the DISCO ON card
e2e_screenshot disco-light-bar
e2e_key f
e2e_wait_for 3 bash -c "xdotool search --onlyvisible --name '^Quelmo Disco$' >/dev/null" ||
    e2e_fail "F did not open the full-screen disco"
sleep 0.5
e2e_screenshot disco-full-screen
e2e_click_named "PLAY"
e2e_wait_for 3 e2e_is_listed "PAUSE" || e2e_fail "a click during the full-screen disco did not reach the deck"
e2e_click_named "PAUSE"
e2e_wait_for 12 bash -c "! xdotool search --onlyvisible --name '^Quelmo Disco$' >/dev/null" ||
    e2e_fail "the full-screen disco did not close itself"
e2e_key d
disco_off() { ! e2e_is_shown "DISCO MODE"; }
e2e_wait_for 3 disco_off || e2e_fail "D did not turn the disco off"

e2e_key l
e2e_wait_for 3 e2e_is_shown "Keys & training" || e2e_fail "L did not open the keyboard lesson"
e2e_click_named "Next"
e2e_click_named "Next"
e2e_click_named "Next"
e2e_click_named "Next"
e2e_screenshot trainer-shortcut-map
e2e_click_named "Close"
lesson_closed() { ! e2e_is_shown "Keys & training"; }
e2e_wait_for 3 lesson_closed || e2e_fail "Close did not close the keyboard lesson"

e2e_click_named "YouTube URL"
sleep 0.3
e2e_record_start typed
sleep 0.3
xdotool type --delay 50 "1"
sleep 1
e2e_record_stop
read -r rms _ < <(/usr/bin/python3 "$E2E_HERE/tone_levels.py" "$E2E_ROOT/typed.wav" 100)
e2e_note "typing 1 into the field: rms $rms"
e2e_check "typing into the field plays nothing" awk "BEGIN { exit !($rms < 0.001) }"
e2e_screenshot keys-typed
# Escape leaves the field: the next ] is the deck's again.
xdotool key Escape
sleep 0.3
xdotool key bracketright
e2e_wait_for 3 e2e_is_listed "120 BPM" || e2e_fail "after Escape in the field, ] did not reach the deck"

# Another application has the focus: its window still receives the key, and the deck plays it.
xev -name "other application" >"$E2E_ROOT/xev.log" 2>&1 &
xev_pid=$!
e2e_wait_for 5 bash -c "xdotool search --name '^other application$' >/dev/null" || e2e_fail "xev did not open"
other=$(xdotool search --name '^other application$' | head -n 1)
xdotool windowfocus --sync "$other"
sleep 0.5
e2e_record_start global
sleep 0.3
xdotool key --clearmodifiers 1
sleep 1
e2e_record_stop
kill "$xev_pid" 2>/dev/null || true
read -r _ onset correlation < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/global.wav" kick)
e2e_note "kick from a 1 typed into another application at ${onset}s, correlation $correlation"
e2e_check "a key pressed in another application plays the kick" awk "BEGIN { exit !($correlation > 0.9) }"
e2e_check "the other application still received the key" grep -q "keycode 10 " "$E2E_ROOT/xev.log"

e2e_quit_by_closing
e2e_note "all keyboard checks passed"
