#!/usr/bin/env bash
# Playing through a sound-server restart: the sequencer runs (190 BPM, four kicks, the metronome on,
# the post-FX level turned down) and REC records the set, while the private sound server is killed
# and, three seconds later, started again on the same socket. The deck must say so while the server
# is away, be back within 5 s of the restart, and play on as before: every click and kick on its
# grid in the set recording, which keeps the engine's own timeline through the loss; the same levels
# and grid on the restarted server; and a stream moved to another sink by the server plays on.
# Usage: sound_server_restart_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"
LOST="Sound server lost — reconnecting…"
BPM=190

# The banner is named by its text, and nameless (so not listed) while the output plays.
lost_shown() { e2e_is_listed "$LOST"; }
lost_gone() { ! e2e_is_listed "$LOST"; }
peak() { PYTHONPATH="$E2E_HERE" /usr/bin/python3 -c 'import sys; from grid_onsets import load; import numpy as np
print("%.5f" % np.max(np.abs(load(sys.argv[1]))))' "$1"; }

e2e_start_display
e2e_start_sound
e2e_launch_deck
sleep 2

e2e_note "tempo $BPM BPM, metronome on, four kicks in the sequencer, post-FX level down, REC"
e2e_click_named Tempo 0.995
sleep 0.3
e2e_click_named PLAY
for step in 1 5 9 13; do e2e_click_named "Kick step $step"; done
e2e_click_named "Post-FX level" 0.4
e2e_click_named "Sequencer PLAY"
e2e_click_named REC
sleep 1
e2e_grid_take before 6 $BPM 15

e2e_note "the sound server goes away"
e2e_kill_sound
e2e_check "the deck says the sound server is lost" e2e_wait_for 5 lost_shown
e2e_show_named "$LOST"
e2e_check "the banner is on show" e2e_is_shown "$LOST"
e2e_screenshot server-lost
sleep 3
e2e_check "the deck still says so while the server is away" lost_shown
e2e_restart_sound
restarted=$(date +%s%N)
e2e_check "Quelmo is back on the restarted server within 5 s" e2e_wait_for 5 lost_gone
e2e_note "back $(( ($(date +%s%N) - restarted) / 1000000 )) ms after the server answered again"
e2e_check "the output plays on the restarted server" bash -c 'pactl list sink-inputs | grep -q "Quelmo output"'
e2e_screenshot server-back

sleep 1
e2e_grid_take after 6 $BPM 15
level_before=$(peak "$E2E_ROOT/before.wav")
level_after=$(peak "$E2E_ROOT/after.wav")
e2e_note "peak level $level_before before, $level_after after"
e2e_check "the levels are as they were ($level_before, now $level_after)" \
    awk "BEGIN { exit !($level_after > 0.05 && $level_after / $level_before > 0.97 && $level_after / $level_before < 1.03) }"

e2e_note "the server moves the stream to another sink"
pactl load-module module-null-sink sink_name=quelmo_other rate=44100 channels=2 >/dev/null
input=$(pactl list sink-inputs | awk '/^Sink Input #/ { id = substr($3, 2) } /media.name = "Quelmo output"/ { print id; exit }')
pactl move-sink-input "$input" quelmo_other
e2e_grid_take moved 6 $BPM 15 quelmo_other.monitor
e2e_check "a moved stream is no lost server" lost_gone

e2e_click_named "STOP REC"
e2e_check "the set recording is saved" e2e_wait_for 10 bash -c "ls '$E2E_ROOT'/home/Music/*.flac"
set_file=$(ls "$E2E_ROOT"/home/Music/*.flac | head -1)
ffmpeg -v error -i "$set_file" -c:a pcm_s16le "$E2E_ROOT/set.wav"
cp "$E2E_ROOT/set.wav" "$E2E_ARTIFACTS/"
# What the engine rendered, the stretch without a server included: no breaks at all.
e2e_check_grid "$E2E_ROOT/set.wav" set $BPM 0 60

e2e_quit_by_closing
e2e_note "the deck played through the sound server restart"
