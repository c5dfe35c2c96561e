#!/usr/bin/env bash
# A click on a track row's play button to its first sound, for long MP3s never played before: the
# real application under Xvfb with a private PulseAudio null sink, measured as bench/click_to_sound.sh
# measures the Kick pad (XTest clicks and the sink's monitor, both stamped on CLOCK_MONOTONIC; see
# click_latency.py), next to the same bare libpulse client baseline in the same run.
#
# 2 x FILES (8 unless told) 10-minute stereo MP3s (44.1 kHz, 192 kb/s, a 440 Hz tone with a little
# noise; one encoding, copied under its own name for each row) lie in ~/Music; each is added through
# "ADD AUDIO" and the file dialog, its overview analysed, before anything is measured. Then every row
# is clicked once on "Play <name>", found by its accessible name; the button acts when it comes up, so
# each time runs from the release. Once the row shows it playing, it is paused, and the next row is
# clicked after a rest:
#   awake   1 s later: the deck's output still running
#   asleep  4 s later: the output has gone to rest (two seconds after the last sound) and wakes
# Target: median under 50 ms.
# Usage: bench/track_click_to_sound.sh [BUILD_DIR] [FILES]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
files=${2:-8}
E2E_APP=$build/src/app/quelmo
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/e2e/harness.sh"
source "$here/bench_common.sh"

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
echo "encoding a 10-minute MP3..."
ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=440:d=600:r=44100" -f lavfi -i "anoisesrc=d=600:r=44100:a=0.02" \
    -filter_complex "[0][1]amix=inputs=2,volume=6" -ac 2 -c:a libmp3lame -b:a 192k "$E2E_ROOT/ten.mp3"
bench_bare_client bare 20

e2e_launch_deck
mkdir -p "$E2E_ROOT/home/Music"
name_of() { printf 'long %02d' "$1"; }
for ((i = 0; i < 2 * files; ++i)); do
    cp "$E2E_ROOT/ten.mp3" "$E2E_ROOT/home/Music/$(name_of "$i").mp3"
done
sleep 1
for ((i = 0; i < 2 * files; ++i)); do
    bench_add_audio "$i" "$(name_of "$i")"
done
echo "$((2 * files)) rows added through the file dialog"

round() { # NAME FIRST REST_SECONDS
    local name=$1 first=$2 rest=$3 row
    bench_record_start "$name"
    sleep "$rest"
    for ((i = first; i < first + files; ++i)); do
        row=$(name_of "$i")
        e2e_point_named "Play $row"
        sleep 0.3
        bench_press "$name" 1
        e2e_wait_for 10 e2e_is_listed "Pause $row" || e2e_fail "the row $row does not show it playing"
        sleep 0.3
        e2e_click_named "Pause $row"
        sleep "$rest"
    done
    sleep 0.3
    bench_record_stop
}
round awake 0 1
load_awake=$(bench_load)
round asleep "$files" 4
load_asleep=$(bench_load)

median_of() { sed -n 's/.*: median \([0-9.]*\) ms.*/\1/p' | tail -n 1; }
report() { # PREFIX LABEL [OPTIONS...]: the summary line and the median against the bare client's
    local prefix=$1 label=$2 line
    shift 2
    line=$(/usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/$prefix" "$E2E_ROOT/$prefix.presses" burst "$label" "$@" |
        tail -n 1)
    echo "$line"
    if [[ -z "$bare" ]]; then
        bare=$(median_of <<<"$line")
    elif [[ -n "$(median_of <<<"$line")" ]]; then
        awk -v m="$(median_of <<<"$line")" -v b="$bare" \
            'BEGIN { printf "  %.1fx the bare client, +%.1f ms (target: median under 50 ms)\n", m / b, m - b }'
    fi
}
echo "click to sound, each row's first play, release (XTest, after XSync) to onset at the sink's monitor:"
bare=""
report bare "bare client (256 frames)"
report awake "10-min MP3 rows, output running" --from-release --window 1000
echo "  (load $load_awake)"
report asleep "10-min MP3 rows, output at rest" --from-release --window 1000
echo "  (load $load_asleep)"
