#!/usr/bin/env bash
# Keeping time as a user hears it: set the tempo on the slider, start the metronome in the header,
# program four-on-the-floor kicks in the sequencer and start it; record 30 s of the null sink at
# 190 BPM and at 120 BPM, each time idle and with both cores kept busy by two other processes. Every
# click and every kick must lie on its grid to the sample: the place of each beat rounded to a frame,
# as the deck books it. A gap in the output (the application logs each one) moves everything after
# it; the grid is checked between such breaks, never more of them than gaps logged.
# Usage: sequencer_timing_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"
SECONDS_PER_TAKE=${QUELMO_E2E_TAKE_SECONDS:-30}

# One take at BPM. The sink's clock, not the wall clock, paces the grid; a loaded machine may fall a
# little behind. Every grid place inside the take must still hold a hit.
take() { e2e_grid_take "$1" "$SECONDS_PER_TAKE" "$2" $((SECONDS_PER_TAKE * $2 * 8 / 600)); }

e2e_start_display
e2e_start_sound
e2e_launch_deck
sleep 2 # an idle null sink renders its first second in one go; let it settle

e2e_note "tempo slider to its end (190 BPM), transport on"
e2e_click_named Tempo 0.995
e2e_wait_for 3 e2e_is_listed "190 BPM" || { e2e_screenshot tempo-not-190; e2e_fail "the tempo slider did not reach 190 BPM"; }
e2e_click_named PLAY
e2e_screenshot tempo-190

e2e_note "four kicks on the beat in the sequencer, sequencer on"
for step in 1 5 9 13; do e2e_click_named "Kick step $step"; done
e2e_click_named "Sequencer PLAY"
sleep 1
e2e_screenshot sequencer-running

take bpm190-idle 190
e2e_busy_start
take bpm190-busy 190
e2e_busy_stop

e2e_note "the tempo slider, focused, down 70 steps to 120 BPM"
e2e_click_named Tempo 0.995
xdotool key --delay 8 --repeat 70 Left
e2e_wait_for 3 e2e_is_listed "120 BPM" || { e2e_screenshot tempo-not-120; e2e_fail "the tempo slider did not come down to 120 BPM"; }
sleep 1
e2e_screenshot tempo-120
take bpm120-idle 120
e2e_busy_start
take bpm120-busy 120
e2e_busy_stop

e2e_quit_by_closing
e2e_note "all timing checks passed"
