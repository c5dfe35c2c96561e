#!/usr/bin/env bash
# Playing the deck as a user: click TEST TONE and BOLD PA, scroll to the pads and click Kick; the
# null sink's recording holds the tone and the kick, and the screen shows the perform card.
# Usage: deck_perform_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"
HERE=$(dirname "$0")

e2e_start_display
e2e_start_sound
e2e_launch_deck
sleep 2 # an idle null sink renders its first second in one go; let it settle
e2e_screenshot deck-top

brightness() { convert "$1" -colorspace gray -format '%[fx:mean]' info:; }

e2e_record_start
sleep 0.5
e2e_note "TEST TONE, then BOLD PA"
e2e_click_named "TEST TONE"
sleep 0.8
e2e_click_named "BOLD PA"
sleep 0.3

e2e_note "scroll to the pads and hit Kick"
e2e_show_named "Kick pad"
e2e_screenshot pads
e2e_click_named "Kick pad"
sleep 0.35
e2e_screenshot perform-card
sleep 2
e2e_screenshot after-card
e2e_record_stop

read -r _ onset correlation < <(/usr/bin/python3 "$HERE/analyze_recording.py" "$E2E_ROOT/recording.wav" kick)
e2e_note "kick found at ${onset}s with correlation $correlation"
e2e_check "the recording holds the kick as the deck synthesises it" awk "BEGIN { exit !($correlation > 0.9) }"
read -r _ peak frequency < <(/usr/bin/python3 "$HERE/analyze_recording.py" "$E2E_ROOT/recording.wav" tone "$onset")
e2e_note "loudest part before the kick: peak $peak at $frequency Hz"
e2e_check "the sound-check tone is heard at 440 Hz" awk "BEGIN { exit !($frequency > 430 && $frequency < 450) }"
e2e_check "at about half the master level (0.45 x 0.9 x 0.35)" awk "BEGIN { exit !($peak > 0.1 && $peak < 0.2) }"

card=$(brightness "$E2E_ARTIFACTS/perform-card.png")
before=$(brightness "$E2E_ARTIFACTS/pads.png")
after=$(brightness "$E2E_ARTIFACTS/after-card.png")
e2e_note "screen brightness: before $before, card $card, after $after"
e2e_check "the perform card dims the screen while it shows" awk "BEGIN { exit !($card < 0.7 * $before) }"
e2e_check "and is gone two seconds later" awk "BEGIN { exit !($after > 0.9 * $before) }"
e2e_check "the application is still running" kill -0 "$E2E_APP_PID"

e2e_note "closing the window while a card is up still quits cleanly"
e2e_click_named "Kick pad"
sleep 0.2
e2e_close_window
status=0
e2e_wait_app_exit 10 || status=$?
e2e_check "the process ended with status 0 (got $status)" test "$status" -eq 0
e2e_note "all deck perform checks passed"
