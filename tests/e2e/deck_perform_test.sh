#!/usr/bin/env bash
# Playing the deck as a user: click TEST TONE and BOLD PA, scroll to the pads and click Kick; the
# null sink's recording holds the tone and the kick, and the screen shows the perform card. RESET
# then opens a dark card over the dimmed deck whose message reads as light text on the dark.
# Usage: deck_perform_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

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

read -r _ onset correlation < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/recording.wav" kick)
e2e_note "kick found at ${onset}s with correlation $correlation"
e2e_check "the recording holds the kick as the deck synthesises it" awk "BEGIN { exit !($correlation > 0.9) }"
read -r _ peak frequency < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/recording.wav" tone "$onset")
e2e_note "loudest part before the kick: peak $peak at $frequency Hz"
e2e_check "the sound-check tone is heard at 440 Hz" awk "BEGIN { exit !($frequency > 430 && $frequency < 450) }"
e2e_check "at about half the master level (0.45 x 0.9 x 0.35)" awk "BEGIN { exit !($peak > 0.1 && $peak < 0.2) }"

card=$(brightness "$E2E_ARTIFACTS/perform-card.png")
before=$(brightness "$E2E_ARTIFACTS/pads.png")
after=$(brightness "$E2E_ARTIFACTS/after-card.png")
e2e_note "screen brightness: before $before, card $card, after $after"
e2e_check "the perform card dims the screen while it shows" awk "BEGIN { exit !($card < 0.7 * $before) }"
e2e_check "and is gone two seconds later" awk "BEGIN { exit !($after > 0.9 * $before) }"

e2e_note "RESET opens the alert"
e2e_click_named RESET
e2e_show_named "Reset Everything?"
read -r cx cy w h <<<"$E2E_AT"
e2e_screenshot reset-alert
# The card, cut out of the screenshot (the window sits at its position on the root window).
read -r wx wy < <(xdotool getwindowgeometry "$E2E_WINDOW" | awk -F'[ ,]+' '/Position/ {print $3, $4}')
card="$E2E_ROOT/card.png"
convert "$E2E_ARTIFACTS/reset-alert.png" -crop "$((w - 8))x$((h - 8))+$((wx + cx - w / 2 + 4))+$((wy + cy - h / 2 + 4))" +repage \
    -colorspace gray "$card"
mean=$(convert "$card" -format '%[fx:mean]' info:)
light=$(convert "$card" -threshold 70% -format '%[fx:mean]' info:)
e2e_note "alert card ${w}x${h}: mean brightness $mean, light pixels $light"
e2e_check "the card is dark, in the deck's look" awk "BEGIN { exit !($mean < 0.3) }"
e2e_check "and carries light text on it (title, message, buttons)" awk "BEGIN { exit !($light > 0.01 && $light < 0.3) }"
e2e_click_named Reset
alert_gone() { ! e2e_is_shown "Reset Everything?"; }
e2e_check "Reset closes the alert" e2e_wait_for 5 alert_gone

e2e_note "closing the window while a card is up still quits cleanly"
e2e_click_named "Kick pad"
sleep 0.2
e2e_quit_by_closing
e2e_note "all deck perform checks passed"
