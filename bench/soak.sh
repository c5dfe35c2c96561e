#!/usr/bin/env bash
# A long session on the real application: the sequencer at 190 BPM with the metronome, four tracks
# looping, REC on, system-audio capture running (another application playing into it) and a pad
# hit every second from XTest, for SECONDS (30 minutes unless given). Reports:
#   - the output's gaps (the application logs every time its output ran dry) beside the baseline: a
#     bare client (pacat, the deck's own 15 ms target latency) playing into a sink of its own on the
#     same server for the same stretch, whose underruns are what the machine allows any client;
#   - resident memory and open files of the process at the start and at the end (they must stay
#     flat, give or take what the first minutes warm up);
#   - the recording's length against the frames the output played while recording (sample-exact
#     unless the disk fell behind), and that it decodes.
# Usage: bench/soak.sh [BUILD_DIR] [SECONDS]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-1800}
here=$(cd "$(dirname "$0")" && pwd)
E2E_APP="$build/src/app/quelmo"
source "$here/../tests/e2e/harness.sh"
source "$here/bench_common.sh"
[[ -x "$build/bench/quelmo_xtest_press" ]] || e2e_fail "build the benchmarks first (cmake -DQUELMO_BUILD_BENCH=ON)"

gaps() { grep -o 'ran dry ([0-9]*' "$E2E_ROOT/app.log" | tail -1 | grep -o '[0-9]*$' || echo 0; }
files_open() { ls "/proc/$1/fd" | wc -l; }

e2e_start_display >/dev/null
e2e_start_sound >/dev/null

# Four tracks in the downloads library, restored when the deck starts.
e2e_new_home
folder="$E2E_ROOT/home/Documents/Quelmo Downloads"
mkdir -p "$folder" "$E2E_ROOT/home/.config/Quelmo"
printf '[General]\nQuelmoSetupSeen=true\n' >"$(e2e_settings_file)"
manifest="["
for i in 0 1 2 3; do
    case $i in
        0 | 2) ext=mp3 codec=(-c:a libmp3lame -b:a 192k) ;;
        1) ext=wav codec=(-c:a pcm_s16le) ;;
        3) ext=flac codec=(-c:a flac) ;;
    esac
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=$((330 + i * 110)):d=$((17 + i * 4)):r=44100" \
        -af volume=0.3 -ac 2 "${codec[@]}" "$folder/soak$i.$ext"
    manifest+="{\"id\": \"$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)\", \"name\": \"soak$i\","
    manifest+=" \"filename\": \"soak$i.$ext\", \"dateAdded\": \"2026-12-07T10:00:0${i}Z\"}"
    [[ $i -lt 3 ]] && manifest+=","
done
echo "$manifest]" >"$folder/downloads.json"
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"
e2e_wait_window
e2e_wait_screen deck
app=$(pgrep -P "$E2E_APP_PID" || echo "$E2E_APP_PID")

for i in 0 1 2 3; do e2e_click_named "Play soak$i"; done
e2e_click_named Tempo 0.995
sleep 0.3
e2e_click_named "PLAY"
for step in 1 5 9 13; do e2e_click_named "Kick step $step"; done
e2e_click_named "Sequencer PLAY"
e2e_click_named "System audio START"
e2e_wait_for 10 e2e_is_listed "Quelmo Capture Not Set Up" || e2e_fail "START did not ask to create Quelmo Capture"
e2e_click_named "Create"
e2e_wait_for 10 e2e_is_listed_starting "✅ Capturing system audio!" || e2e_fail "capture did not start"
e2e_click_named "REC"
e2e_wait_for 5 e2e_is_listed "STOP REC" || e2e_fail "REC did not start"
# Another application playing into Quelmo Capture the whole time, and the baseline client beside.
pactl load-module module-null-sink sink_name=bare rate=44100 channels=2 >/dev/null
sox -n -r 44100 -c 2 -b 16 "$E2E_ROOT/tone.wav" synth "$((seconds + 30))" sine 523 vol 0.2
pacat --device=quelmo_capture --latency-msec=30 "$E2E_ROOT/tone.wav" >/dev/null 2>&1 &
other=$!
pacat -v --device=bare --latency-msec=15 "$E2E_ROOT/tone.wav" >"$E2E_ROOT/bare.log" 2>&1 &
bare=$!
E2E_SERVER_PIDS+=("$other" "$bare")
xdotool windowfocus --sync "$E2E_WINDOW"
"$build/bench/quelmo_xtest_press" --key 1 "$((seconds + 60))" 1000 >"$E2E_ROOT/presses" &
presser=$!
# The first minute warms up what a session keeps: decoders, rings, the rack's lazy state, and the
# perform card's windows, made at the first hit.
sleep 60

gaps_start=$(gaps)
rss_start=$(bench_rss_mb "$app")
open_start=$(files_open "$app")
load_start=$(bench_load)
echo "start: $rss_start MB resident, $open_start files open, $gaps_start output gaps so far; load $load_start"
# Memory and open files every minute, to tell a warm-up from a leak.
(
    for ((minute = 1; minute * 60 <= seconds; ++minute)); do
        sleep 60
        echo "$minute min: $(bench_rss_mb "$app") MB, $(files_open "$app") files"
    done
) >"$E2E_ROOT/samples" &
sampler=$!
cpu=$(bench_cpu_over "$app" "$seconds")
wait "$presser" "$sampler"
echo "over time: $(paste -sd ';' "$E2E_ROOT/samples")"
gaps_end=$(gaps)
rss_end=$(bench_rss_mb "$app")
open_end=$(files_open "$app")
echo "end:   $rss_end MB resident, $open_end files open, $gaps_end output gaps so far; load $(bench_load)"
echo "deck:  $((gaps_end - gaps_start)) output gaps in $seconds s; $cpu % of one core"
echo "bare:  $(grep -ci underrun "$E2E_ROOT/bare.log") underruns of pacat (15 ms) over the same stretch"
echo "flat:  resident memory $((rss_end - rss_start)) MB, open files $((open_end - open_start))"

e2e_click_named "STOP REC"
e2e_wait_for 10 e2e_is_listed_starting "Saved Quelmo Set " || e2e_fail "STOP did not save the set"
file=$(ls "$E2E_ROOT"/home/Music/Quelmo\ Set\ *.flac | head -n 1)
saved=$(grep -o 'recording saved to .*' "$E2E_ROOT/app.log" | tail -1 | sed 's/.*flac: //')
decoded=$(ffmpeg -v error -nostdin -i "$file" -f f32le -ac 1 - 2>"$E2E_ROOT/decode.err" | wc -c)
echo "recording: $(basename "$file"): $saved; decodes to $((decoded / 4)) frames" \
    "$( [[ -s "$E2E_ROOT/decode.err" ]] && echo "WITH ERRORS: $(head -1 "$E2E_ROOT/decode.err")" || echo "without an error")"
kill "$other" "$bare" 2>/dev/null || true
e2e_close_window
status=0
e2e_wait_app_exit 20 || status=$?
echo "ended with status $status"
