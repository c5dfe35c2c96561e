#!/usr/bin/env bash
# Takes the screenshots the AppStream data shows (data/screenshots/), with the end-to-end harness:
# the first-launch setup screen and the deck, each as the window alone.
# Usage: bash scripts/screenshots.sh [PATH_TO_QUELMO]   (default: build/src/app/quelmo)
root=$(cd "$(dirname "$0")/.." && pwd)
E2E_APP=${1:-$root/build/src/app/quelmo}
source "$root/tests/e2e/harness.sh"
out="$root/data/screenshots"
mkdir -p "$out"

e2e_start_display
e2e_start_sound
e2e_new_home
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"
e2e_wait_window
e2e_wait_screen setup
e2e_window_screenshot "$out/setup.png"
e2e_stop_app
# The deck as a user with yt-dlp installed sees it.
e2e_new_home
mkdir -p "$E2E_ROOT/bin" && printf '#!/bin/sh\necho 2024.04.09\n' >"$E2E_ROOT/bin/yt-dlp" && chmod +x "$E2E_ROOT/bin/yt-dlp"
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/bin/yt-dlp"
e2e_wait_window
e2e_wait_screen deck
e2e_window_screenshot "$out/deck.png"
e2e_stop_app
identify -format '%f %wx%h\n' "$out"/*.png
