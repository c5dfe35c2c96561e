#!/usr/bin/env bash
# The effects rack rendering a 60 s stereo WAV offline, against sox applying the nearest equivalent
# chain (low-pass, echo, reverb, overdrive, three EQ bands) to the same file, in the same run.
# Usage: bench/rack_vs_sox.sh [BUILD_DIR]   (the build needs -DQUELMO_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
tool="$build/bench/quelmo_rack_render"
[[ -x "$tool" ]] || { echo "build $tool first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 60 pluck C2 pluck E3 tremolo 3 40 gain -6
calc() { awk "BEGIN { print $* }"; }
seconds_of() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); calc "$end - $start"; }

best() { # best of three
    local best=999999 t
    for _ in 1 2 3; do
        t=$(seconds_of "$@")
        best=$(calc "($t < $best) ? $t : $best")
    done
    echo "$best"
}

ours=$(best "$tool" "$work/in.wav" "$work/ours.wav")
theirs=$(best sox "$work/in.wav" -e floating-point -b 32 "$work/sox.wav" \
    lowpass 5000 echo 0.8 0.7 300 0.4 reverb 30 overdrive 6 \
    bass 3 120 equalizer 2600 1.35o 3 treble 3 9000)

printf 'rack (quelmo):   %6.3f s   %6.1fx real time\n' "$ours" "$(calc "60 / $ours")"
printf 'sox equivalent:  %6.3f s   %6.1fx real time\n' "$theirs" "$(calc "60 / $theirs")"
printf 'speed vs sox:    %6.2fx   (above 1 means the rack is faster)\n' "$(calc "$theirs / $ours")"
