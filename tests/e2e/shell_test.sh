#!/usr/bin/env bash
# The application shell as a user meets it: the window, the setup gate, the launch action, closing.
# Usage: shell_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
NO_YTDLP="QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"

e2e_note "new user, no yt-dlp: the setup screen shows and its launch action leads to the deck"
e2e_new_home
e2e_launch_app "$NO_YTDLP"
e2e_wait_window
e2e_check "the window is 1100x860" test "$(e2e_window_size)" = "1100x860"
e2e_wait_screen setup
e2e_screenshot setup-screen
e2e_check "nothing is stored before the launch action" bash -c "! grep -q QuelmoSetupSeen '$(e2e_settings_file)' 2>/dev/null"
e2e_check "the setup card shows" e2e_wait_for 10 e2e_is_shown "Skip for now — launch without YouTube downloads"
e2e_click_named "Skip for now — launch without YouTube downloads"
e2e_wait_screen deck
e2e_screenshot deck-after-setup
e2e_check "the launch action stored QuelmoSetupSeen=true" grep -qx 'QuelmoSetupSeen=true' "$(e2e_settings_file)"
e2e_check "the screen went from setup to deck once" test "$(paste -sd, "$E2E_ROOT/screens")" = "setup,deck"

e2e_note "closing the window quits the application"
e2e_quit_by_closing

e2e_note "the next launch of the same user goes straight to the deck"
e2e_relaunch_deck
e2e_check "the setup screen did not show again" test "$(paste -sd, "$E2E_ROOT/screens")" = "setup,deck,deck"
e2e_stop_app

e2e_note "new user with yt-dlp in a probed place: the deck shows at once"
e2e_new_home
mkdir -p "$E2E_ROOT/bin" && touch "$E2E_ROOT/bin/yt-dlp" && chmod +x "$E2E_ROOT/bin/yt-dlp"
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp:$E2E_ROOT/bin/yt-dlp"
e2e_wait_window
e2e_wait_screen deck
e2e_check "the setup screen never showed" test "$(paste -sd, "$E2E_ROOT/screens")" = "deck"
e2e_screenshot deck-first-launch
e2e_check "the gate stored nothing by itself" test ! -e "$(e2e_settings_file)"
e2e_stop_app

e2e_note "a Wayland session with XWayland: Quelmo runs on XWayland, where other applications' keys are heard"
e2e_launch_deck QT_QPA_PLATFORM= XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE WAYLAND_DISPLAY=quelmo-test-wayland-0
sleep 1
if e2e_is_listed_starting "Keys are heard in this window only"; then
    e2e_fail "the status line says other applications' keys go unheard on XWayland"
fi
e2e_stop_app

e2e_note "without X11 (Wayland without XWayland) the status line says other applications' keys go unheard"
rm -f "$E2E_ROOT/screens" # no window to wait for: the deck's screen report says it is up
e2e_launch_app "$NO_YTDLP" DISPLAY= QT_QPA_PLATFORM=offscreen
e2e_wait_screen deck
e2e_check "the status line says so" e2e_wait_for 10 e2e_is_listed_starting "Keys are heard in this window only"
e2e_stop_app

e2e_note "all shell checks passed"
