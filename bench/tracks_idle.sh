#!/usr/bin/env bash
# What the deck costs at rest with 50 rows listed, against the empty deck in the same run: the real
# application under Xvfb (Qt Quick's software renderer) with a private PulseAudio null sink, nothing
# playing. 50 short MP3s (20 s, mono, 128 kb/s; one encoding copied under 50 names) lie in the
# downloads folder and come back as rows at a restart, as a user's library does.
# For the empty deck, then with the 50 rows:
#   wave     CPU (share of one core) over SECONDS with the waveform panel on screen (target < 2 %)
#   rows     the same with the import panel and its first rows on screen
#   hidden   the same over 2 x SECONDS with the window unmapped, as when minimised (target < 0.1 %)
#   resident memory (targets: < 95 MB empty, < 105 MB with the 50 rows)
# and then, with the rows' analyses cached, at the next start (the wave and hidden figures, and the
# resident memory), with whether FFmpeg's libraries are mapped after each.
# The machine's load is printed beside each figure.
# Usage: bench/tracks_idle.sh [BUILD_DIR] [SECONDS]
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
E2E_APP=$build/src/app/quelmo
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/e2e/harness.sh"
source "$here/bench_common.sh"

e2e_start_display >/dev/null
e2e_start_sound >/dev/null
ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=330:d=20:r=44100" -c:a libmp3lame -b:a 128k "$E2E_ROOT/short.mp3"
e2e_launch_deck
name_of() { printf 'row %02d' "$1"; }

declare -A cpu
measure() { # KEY LABEL SECONDS
    cpu[$1]=$(bench_cpu_over "$E2E_APP_PID" "$3")
    printf '%-22s CPU %5.2f %% of a core over %ss, resident %s MB (load %s)\n' "$2" "${cpu[$1]}" "$3" \
        "$(bench_rss_mb "$E2E_APP_PID")" "$(bench_load)"
}
measure_deck() { # PREFIX LABEL
    e2e_point_named "Add or jump to cue"
    sleep 1
    measure "$1.wave" "$2, waveform panel" "$seconds"
    if [[ $1 == rows ]]; then
        e2e_point_named "ADD AUDIO" # the first rows are on show beneath it
        sleep 1
        measure "$1.rows" "$2, rows in view" "$seconds"
    fi
    xdotool windowunmap "$E2E_WINDOW"
    sleep 1
    measure "$1.hidden" "$2, hidden" $((2 * seconds))
    xdotool windowmap "$E2E_WINDOW"
    sleep 1
    rss[$1]=$(bench_rss_mb "$E2E_APP_PID")
}
declare -A rss

sleep 5 # past the first seconds, when the output settles and goes to sleep
measure_deck empty "empty deck"
# The 50 rows come back from the downloads library at the next start, all at once, as a user's
# library does.
e2e_close_window
e2e_wait_app_exit 10 >/dev/null || e2e_stop_app
library="$E2E_ROOT/home/Documents/Quelmo Downloads"
mkdir -p "$library"
for i in $(seq 1 50); do cp "$E2E_ROOT/short.mp3" "$library/$(name_of "$i").mp3"; done
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"
e2e_wait_window
e2e_wait_screen deck
e2e_wait_for 10 e2e_is_listed "Play $(name_of 1)" || e2e_fail "the library's rows did not come back"
sleep 8 # their overviews are analysed in the background
measure_deck rows "50 rows"
ffmpeg_mapped() { grep -q libavcodec "/proc/$E2E_APP_PID/maps" && echo mapped || echo "not mapped"; }
echo "FFmpeg after the first analysis of the rows: $(ffmpeg_mapped)"
# The next start finds the rows' analyses in the cache, as every start after a library's first does.
e2e_close_window
e2e_wait_app_exit 10 >/dev/null || e2e_stop_app
e2e_launch_app "QUELMO_YTDLP_PROBE_PATHS=$E2E_ROOT/absent/yt-dlp"
e2e_wait_window
e2e_wait_screen deck
e2e_wait_for 10 e2e_is_listed "Play $(name_of 1)" || e2e_fail "the library's rows did not come back"
sleep 8
measure_deck again "50 rows, restarted"
echo "FFmpeg with the analyses read from the cache: $(ffmpeg_mapped)"
awk -v a="${cpu[empty.wave]}" -v b="${cpu[rows.wave]}" -v c="${cpu[empty.hidden]}" -v d="${cpu[rows.hidden]}" \
    -v m="${rss[empty]}" -v n="${rss[rows]}" -v r="${rss[again]}" 'BEGIN {
    printf "50 rows vs empty: waveform panel %+.2f points of a core, hidden %+.2f points, resident %+d MB (%d MB in all)\n", b - a, d - c, n - m, n
    printf "50 rows restarted vs empty: resident %+d MB (%d MB in all)\n", r - m, r
}'
