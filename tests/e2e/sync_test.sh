#!/usr/bin/env bash
# One grid for the music and the metronome, as a user hears it: two click tracks at 100 and 140 BPM
# (clicks of 3 kHz and 6 kHz) added through "ADD AUDIO", each read for its tempo, both switched to
# SYNC, the transport started at the deck's 110 BPM and both rows played. In a recording of the
# output, every beat of both tracks must land on a metronome click: within 2 ms each, half of them
# within 1 ms (a quarter of a beat off counts as a beat out of place). Both tracks, the metronome
# and any output gap share one stream, so a gap moves them all alike and cannot break their
# coincidence.
# Usage: sync_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"
SLOW=3000
FAST=6000

e2e_start_display
e2e_start_sound
e2e_launch_deck
music="$E2E_ROOT/home/Music"
mkdir -p "$music"
/usr/bin/python3 "$E2E_HERE/synced_beats.py" make "$music/fast clicks.wav" 140 $FAST 12
/usr/bin/python3 "$E2E_HERE/synced_beats.py" make "$music/slow clicks.wav" 100 $SLOW 12
sleep 1

e2e_add_track 0 "fast clicks"
e2e_add_track 1 "slow clicks"
# Both rows read for their tempo; what the app lists otherwise says what it read instead.
read_as() { # NAME BPM
    e2e_wait_for 60 e2e_is_listed "Tempo of $1: $2 BPM" && return 0
    e2e_screenshot "tempo-of-$1"
    e2e_fail "$1 was not read as $2 BPM; the app lists: $(cut -f1 "$E2E_GEOMETRY" | grep '^Tempo of' | tr '\n' ';')"
}
read_as "fast clicks" 140.0
read_as "slow clicks" 100.0
e2e_check "the deck runs at 110 BPM" e2e_is_listed "110 BPM"

e2e_click_named "SYNC of fast clicks"
e2e_click_named "SYNC of slow clicks"
e2e_click_named PLAY
e2e_click_named "Play fast clicks"
e2e_click_named "Play slow clicks"
# Each synced row first warms its stretcher on a worker, then starts on the transport's next bar.
e2e_wait_for 60 e2e_is_listed "Pause fast clicks" || e2e_fail "the fast row does not show it playing"
e2e_wait_for 60 e2e_is_listed "Pause slow clicks" || e2e_fail "the slow row does not show it playing"
sleep 3
e2e_screenshot both-synced
e2e_record_start synced
sleep 12
e2e_record_stop

figures=$(/usr/bin/python3 "$E2E_HERE/synced_beats.py" measure "$E2E_RECORDING" $SLOW $FAST) ||
    e2e_fail "the recording could not be measured"
e2e_check "both tracks are measured" test "$(wc -l <<<"$figures")" -eq 2
while read -r hz beats ticks median worst unmatched; do
    e2e_note "$hz Hz track: $beats beats, $ticks clicks; beat to click median $median ms, worst $worst ms," \
        "$unmatched beats off the clicks"
    e2e_check "the $hz Hz track's beats are heard ($beats of at least 18)" test "$beats" -ge 18
    e2e_check "every beat of the $hz Hz track falls on a click" test "$unmatched" -eq 0
    e2e_check "the $hz Hz track's beats are on the clicks (median $median ms)" awk "BEGIN { exit !($median < 1.0) }"
    e2e_check "every beat of the $hz Hz track is within 2 ms of its click (worst $worst ms)" awk "BEGIN { exit !($worst < 2.0) }"
done <<<"$figures"
e2e_quit_by_closing
e2e_note "all SYNC checks passed"
