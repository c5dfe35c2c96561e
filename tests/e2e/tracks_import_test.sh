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

# The dialog opens in ~/Music with its file list focused, sorted by name: "high tone.wav" first.
# Return on the current file chooses it; Down moves to the next one.
add_file() {
    local downs=$1 name=$2
    e2e_click_named "ADD AUDIO"
    sleep 1
    e2e_screenshot "dialog-$downs"
    for ((i = 0; i < downs; ++i)); do e2e_key Down; sleep 0.2; done
    e2e_key Return
    e2e_wait_for 15 e2e_is_listed "Play $name" || e2e_fail "no row for $name after choosing it in the dialog"
    e2e_note "row for $name added"
}
add_file 0 "high tone"
add_file 1 "low tone"

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
