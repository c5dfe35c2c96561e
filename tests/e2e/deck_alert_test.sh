#!/usr/bin/env bash
# The reset alert as a user meets it: RESET opens a dark card over the dimmed deck whose message
# reads as light text on the dark; Cancel closes it, and so does Reset.
# Usage: deck_alert_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
e2e_launch_deck
sleep 1

e2e_note "RESET opens the alert"
e2e_click_named "BOLD PA" # something for Reset to undo
e2e_click_named RESET
e2e_show_named "Reset Everything?"
read -r cx cy w h <<<"$E2E_AT"
e2e_screenshot reset-alert
e2e_check "Cancel is on show" e2e_is_shown Cancel
e2e_check "Reset is on show" e2e_is_shown Reset

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

_alert_gone() { ! e2e_is_shown "Reset Everything?"; }
e2e_click_named Cancel
e2e_check "Cancel closes the alert" e2e_wait_for 5 _alert_gone
e2e_click_named RESET
e2e_show_named "Reset Everything?"
e2e_click_named Reset
e2e_check "Reset closes the alert" e2e_wait_for 5 _alert_gone
e2e_check "the application is still running" kill -0 "$E2E_APP_PID"
e2e_stop_app
e2e_note "all alert checks passed"
