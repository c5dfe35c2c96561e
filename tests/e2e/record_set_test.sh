#!/usr/bin/env bash
# REC as a user meets it: REC, three kicks from the 1 key, STOP: a FLAC named after the moment in
# ~/Music holds the three kicks as the deck played them, and the header names the saved file. WAV
# when asked. Quelmo killed mid-recording (SIGKILL) still leaves a file that decodes up to the kill.
# Usage: record_set_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
kicks_in() { # FILE -> number of kicks heard in it
    ffmpeg -v error -y -i "$1" -ac 2 -ar 44100 -c:a pcm_s16le "$E2E_ROOT/decoded.wav" </dev/null
    /usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/decoded.wav" kicks | awk '{print $2}'
}

e2e_launch_deck
music="$E2E_ROOT/home/Music"
e2e_click_named "REC"
e2e_wait_for 5 e2e_is_listed "STOP REC" || e2e_fail "REC did not start"
for _ in 1 2 3; do
    e2e_key 1
    sleep 1
done
e2e_wait_for 5 e2e_is_listed_starting "● REC 00:0" || e2e_fail "the header does not show the recording's time and size"
sleep 1.5 # the perform card of the last kick fades
e2e_screenshot recording
e2e_click_named "STOP REC"
e2e_wait_for 5 e2e_is_listed_starting "Saved Quelmo Set " || e2e_fail "STOP did not name the saved file"
file=$(ls "$music"/Quelmo\ Set\ *.flac 2>/dev/null | head -n 1)
e2e_check "a FLAC named after the moment is in ~/Music" test -s "$file"
count=$(kicks_in "$file")
e2e_note "$(basename "$file"): $count kicks"
e2e_check "the file holds the three kicks" test "$count" = 3

e2e_click_named "WAV"
e2e_click_named "REC"
e2e_wait_for 5 e2e_is_listed "STOP REC" || e2e_fail "REC did not start again"
e2e_key 1
sleep 1
e2e_click_named "STOP REC"
e2e_wait_for 5 bash -c "ls '$music'/*.wav >/dev/null 2>&1" || e2e_fail "no WAV after STOP"
count=$(kicks_in "$(ls "$music"/*.wav | head -n 1)")
e2e_check "the WAV holds the kick" test "$count" = 1

# Killed mid-set: what was recorded up to the kill still plays.
e2e_click_named "WAV"
rm -f "$music"/*
e2e_click_named "REC"
e2e_wait_for 5 e2e_is_listed "STOP REC" || e2e_fail "REC did not start a third time"
e2e_key 1
sleep 0.6
e2e_key 1
sleep 1
e2e_stop_app KILL
file=$(ls "$music"/Quelmo\ Set\ *.flac | head -n 1)
count=$(kicks_in "$file")
e2e_note "after SIGKILL: $(basename "$file") decodes with $count kicks"
e2e_check "a killed recording keeps what was played" test "$count" = 2
e2e_note "ok"
