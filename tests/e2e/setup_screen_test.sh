#!/usr/bin/env bash
# The first-run setup screen on a machine without yt-dlp: the "not found" card with its command and
# actions, the skip link that leads to the deck and stores the flag, and the next launch that goes
# straight to the deck.
# Usage: setup_screen_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
NO_YTDLP="QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"
SKIP="Skip for now — launch without YouTube downloads"

e2e_note "new user, no yt-dlp: the setup card"
e2e_new_home
e2e_launch_app "$NO_YTDLP"
e2e_wait_window
e2e_wait_screen setup
e2e_check "the presence test ends on the setup card" e2e_wait_for 10 e2e_is_shown "Auto-Install yt-dlp"
for control in "Copy" "Check Again" "$SKIP"; do
    e2e_check "\"$control\" is on show" e2e_is_shown "$control"
done
e2e_screenshot setup-not-found

e2e_check "nothing is stored before leaving" bash -c "! grep -q QuelmoSetupSeen '$(e2e_settings_file)' 2>/dev/null"

e2e_note "skipping leads to the deck and stores the flag"
e2e_click_named "$SKIP"
e2e_wait_screen deck
e2e_check "QuelmoSetupSeen=true is stored" grep -qx 'QuelmoSetupSeen=true' "$(e2e_settings_file)"
e2e_screenshot deck-after-skip
e2e_stop_app

e2e_note "the next launch goes straight to the deck"
: >"$E2E_ROOT/screens"
e2e_launch_app "$NO_YTDLP"
e2e_wait_window
e2e_wait_screen deck
e2e_check "the setup screen did not show again" test "$(paste -sd, "$E2E_ROOT/screens")" = "deck"
e2e_stop_app

e2e_note "all setup screen checks passed"
