#!/usr/bin/env bash
# Adding and layering the user's own music: two short WAVs of different tones in ~/Music, each added
# through "ADD AUDIO" and the file dialog with the keyboard, both rows played together and heard in
# the recording, the waveform panel's mix chips in view.
# Usage: tracks_import_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"
LOW=330
HIGH=1320

e2e_start_display
e2e_start_sound
e2e_launch_deck
music="$E2E_ROOT/home/Music"
mkdir -p "$music"
sox -n -r 44100 -c 1 -b 16 "$music/high tone.wav" synth 4 sine $HIGH vol 0.3
sox -n -r 44100 -c 1 -b 16 "$music/low tone.wav" synth 4 sine $LOW vol 0.3
sleep 1

e2e_add_track 0 "high tone"
e2e_add_track 1 "low tone"

e2e_click_named "Play low tone"
e2e_click_named "Play high tone"
e2e_wait_for 5 e2e_is_listed "Pause low tone" || e2e_fail "the low tone's row does not show it playing"
e2e_wait_for 5 e2e_is_listed "Pause high tone" || e2e_fail "the high tone's row does not show it playing"
sleep 0.5
e2e_record_start both
sleep 2
e2e_record_stop
read -r rms low high < <(/usr/bin/python3 "$E2E_HERE/tone_levels.py" "$E2E_ROOT/both.wav" $LOW $HIGH)
e2e_note "both playing: rms $rms, $LOW Hz at $low, $HIGH Hz at $high"
e2e_check "the low tone is heard" awk "BEGIN { exit !($low > 0.02) }"
e2e_check "the high tone is heard" awk "BEGIN { exit !($high > 0.02) }"

e2e_show_named "DECKS×2"
e2e_screenshot two-playing-waveform
for chip in "IMPORT→RACK" "IMP 85%" "DLY+" "DECKS×2"; do
    e2e_check "the waveform panel shows the chip $chip" e2e_is_shown "$chip"
done
e2e_quit_by_closing
e2e_note "all track import checks passed"
