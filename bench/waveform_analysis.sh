#!/usr/bin/env bash
# Waveform analysis (the overview, tempo, beats and loudness in one decode) against the ffmpeg command
# line decoding the same file to nothing, in the same run: a 10-minute stereo MP3 (44.1 kHz,
# 192 kb/s, a 124 BPM kick and hat loop over a tone and noise), best of three each; the target is at
# most 1.5x ffmpeg's time. The analysis measures on two threads beside the decode, so its
# processor time (user + system, best of three) is given beside ffmpeg's as well. Then the
# analysis's peak memory (getrusage) for a 1-minute and a 60-minute file of the same kind, a mono
# 22.05 kHz 32 kb/s MP3 (fast to encode); the target is that they lie within 10 MB of each other.
# Usage: bench/waveform_analysis.sh [BUILD_DIR]   (the build needs -DQUELMO_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
tool="$build/bench/quelmo_waveform_bench"
[[ -x "$tool" ]] || { echo "build $tool first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

calc() { awk "BEGIN { print $* }"; }
seconds_of() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); calc "$end - $start"; }
cpu_of() { # user + system seconds of one run
    local TIMEFORMAT='%3U %3S' times
    times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
    awk '{ print $1 + $2 }' <<<"$times"
}
best() { # best of three: best seconds_of|cpu_of COMMAND...
    local measure=$1 best=999999 t
    shift
    for _ in 1 2 3; do
        t=$("$measure" "$@")
        best=$(calc "($t < $best) ? $t : $best")
    done
    echo "$best"
}
field() { awk -v key="$1" '{ for (i = 1; i < NF; ++i) if ($i == key) print $(i + 1) }'; }

echo "encoding the test files..."
# The loop: a decaying 60 Hz kick on every beat, a short noise hat on the off-beats.
ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=220:d=600:r=44100" -f lavfi -i "anoisesrc=d=600:r=44100:a=0.1" \
    -f lavfi -i "aevalsrc='0.8*sin(2*PI*60*mod(t,60/124))*exp(-12*mod(t,60/124))':d=600:s=44100" \
    -f lavfi -i "aevalsrc='0.3*(random(0)-0.5)*exp(-60*mod(t+30/124,60/124))':d=600:s=44100" \
    -filter_complex "[0][1][2][3]amix=inputs=4,volume=4" -ac 2 -c:a libmp3lame -b:a 192k "$work/ten.mp3"
for minutes in 1 60; do
    ffmpeg -nostdin -v error -y -f lavfi -i "sine=f=330:d=$((minutes * 60)):r=22050" \
        -c:a libmp3lame -b:a 32k -compression_level 9 "$work/long$minutes.mp3"
done

"$tool" "$work/ten.mp3" >"$work/ten.txt"
ours=$(best seconds_of "$tool" "$work/ten.mp3")
theirs=$(best seconds_of ffmpeg -nostdin -v error -i "$work/ten.mp3" -f null -)
printf '10-min MP3, ffmpeg -f null:  %6.3f s\n' "$theirs"
printf '10-min MP3, analysis:        %6.3f s   (%s decode passes)\n' "$ours" "$(field passes <"$work/ten.txt")"
printf 'time vs ffmpeg:              %6.3fx   (target at most 1.5x)\n' "$(calc "$ours / $theirs")"
ours_cpu=$(best cpu_of "$tool" "$work/ten.mp3")
theirs_cpu=$(best cpu_of ffmpeg -nostdin -v error -i "$work/ten.mp3" -f null -)
printf 'processor time, ffmpeg / analysis: %.3f s / %.3f s   (%.2fx)\n' "$theirs_cpu" "$ours_cpu" "$(calc "$ours_cpu / $theirs_cpu")"
printf 'found:                       %s BPM (confidence %s), %s LUFS, true peak %s dBTP\n' \
    "$(field bpm <"$work/ten.txt")" "$(field confidence <"$work/ten.txt")" \
    "$(field lufs <"$work/ten.txt")" "$(field true_peak_db <"$work/ten.txt")"

"$tool" "$work/long1.mp3" >"$work/one.txt"
"$tool" "$work/long60.mp3" >"$work/sixty.txt"
one=$(field peak_rss_kib <"$work/one.txt")
sixty=$(field peak_rss_kib <"$work/sixty.txt")
printf 'peak memory, 1-min MP3:      %6.1f MiB   (%s passes)\n' "$(calc "$one / 1024")" "$(field passes <"$work/one.txt")"
printf 'peak memory, 60-min MP3:     %6.1f MiB   (%s passes)\n' "$(calc "$sixty / 1024")" "$(field passes <"$work/sixty.txt")"
printf 'difference:                  %6.1f MiB   (target within 10 MB)\n' "$(calc "($sixty - $one) / 1024")"
