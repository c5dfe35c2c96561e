#!/usr/bin/env bash
# Every way out ends in order. The X server killed under a running deck (transport playing, keys
# heard from everywhere, REC on); the X server and the sound server killed together; SIGTERM during
# a download and during system-audio capture: each time the process ends with a normal status (1
# when its display went away, 0 when asked to quit), never by a signal, and the set recording it
# made decodes with the kicks played. A download is ended with its yt-dlp, and capture gives its
# sink back.
# Usage: ways_out_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_sound

# Waits for the application to end and checks how: the status it ended with, no crash.
ended_in_order() { # WHAT EXPECTED_STATUS
    local what=$1 want=$2 status=0
    e2e_wait_app_exit 20 || status=$?
    e2e_check "$what: ended with status $want (got $status)" test "$status" -eq "$want"
    e2e_check "$what: no crash in its log" \
        bash -c "! grep -Eiq 'segmentation|aborted|terminate called|core dumped|bad_function_call' '$E2E_ROOT/app.log'"
}

# The newest set recording decodes completely and holds at least MIN kicks.
recording_decodes() { # WHAT MIN
    local file count
    file=$(ls -t "$E2E_ROOT"/home/Music/Quelmo\ Set\ *.flac 2>/dev/null | head -n 1)
    e2e_check "$1: the recording is there" test -s "$file"
    e2e_check "$1: the recording decodes without an error" \
        bash -c "ffmpeg -v error -nostdin -i \"\$1\" -f null - 2>&1 | { ! grep -q .; }" _ "$file"
    ffmpeg -v error -nostdin -y -i "$file" -ac 2 -ar 44100 -c:a pcm_s16le "$E2E_ROOT/decoded.wav"
    count=$(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/decoded.wav" kicks | awk '{print $2}')
    e2e_check "$1: the recording holds the kicks played ($count)" test "$count" -ge "$2"
}

# A deck playing: transport on, REC on, two kicks, keys heard from everywhere.
playing_deck() {
    e2e_launch_deck
    e2e_click_named "PLAY"
    e2e_click_named "REC"
    e2e_wait_for 5 e2e_is_listed "STOP REC" || e2e_fail "REC did not start"
    e2e_key 1
    sleep 0.6
    e2e_key 1
    sleep 0.6
}

e2e_note "the X server goes away under a playing deck"
e2e_start_display
playing_deck
kill -KILL "${E2E_SERVER_PIDS[-1]}"
ended_in_order "X server killed" 1
e2e_check "the log says it stopped in order" grep -q "ending without the event loop" "$E2E_ROOT/app.log"
recording_decodes "X server killed" 2

e2e_note "the X server and the sound server go away together"
e2e_start_display
playing_deck
kill -KILL "${E2E_SERVER_PIDS[-1]}" &
killing_x=$!
e2e_kill_sound &
wait "$killing_x" "$!"
ended_in_order "X and sound server killed" 1
recording_decodes "X and sound server killed" 2
e2e_restart_sound
e2e_start_display

e2e_note "SIGTERM during a download"
fake="$E2E_ROOT/fake-ytdlp"
mkdir -p "$fake"
cat >"$fake/yt-dlp" <<SCRIPT
#!/bin/bash
echo \$\$ > '$fake/pid'
while [ \$# -gt 0 ]; do [ "\$1" = "--output" ] && template="\$2"; shift; done
echo "[youtube] abc: Downloading webpage"
touch "\${template%.%(ext)s}.webm"
for p in \$(seq 1 1000); do echo "[download]   1.\$p% of 3.50MiB at 1.20MiB/s ETA 09:59"; sleep 0.2; done
SCRIPT
chmod +x "$fake/yt-dlp"
e2e_launch_deck "QUELMO_YTDLP_PROBE_PATHS=$fake/yt-dlp"
folder="$E2E_ROOT/home/Documents/Quelmo Downloads"
e2e_click_named "YouTube URL"
xdotool type --delay 5 "https://www.youtube.com/watch?v=abc"
e2e_click_named "DOWNLOAD"
e2e_wait_for 10 test -s "$fake/pid" || e2e_fail "the download did not start"
e2e_wait_for 5 bash -c "ls '$folder'/ytdl_*.webm" || e2e_fail "the stand-in wrote no partial file"
kill -TERM "$E2E_APP_PID"
ended_in_order "SIGTERM during a download" 0
e2e_check "yt-dlp ended with the deck" bash -c "! kill -0 $(cat "$fake/pid") 2>/dev/null"
e2e_check "the partial download is removed" bash -c "! ls '$folder'/ytdl_* 2>/dev/null"

e2e_note "SIGTERM during system-audio capture, recording"
e2e_launch_deck
e2e_click_named "REC"
e2e_wait_for 5 e2e_is_listed "STOP REC" || e2e_fail "REC did not start"
e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "Quelmo Capture Not Set Up" || e2e_fail "START did not ask to create Quelmo Capture"
e2e_click_named "Create"
e2e_wait_for 10 e2e_is_listed "✅ Capturing system audio! Set Sound Output to 'Quelmo Capture'" ||
    e2e_fail "capture did not start"
e2e_key 1
sleep 0.6
kill -TERM "$E2E_APP_PID"
ended_in_order "SIGTERM during capture" 0
e2e_check "Quelmo Capture is removed" bash -c "! pactl list short sinks | grep -q quelmo_capture"
recording_decodes "SIGTERM during capture" 1
e2e_note "ok"
