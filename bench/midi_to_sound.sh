#!/usr/bin/env bash
# MIDI note to sound, measured like key_to_sound.sh: the deck on a private PulseAudio null sink,
# the sink's monitor recorded by quelmo_monitor_recorder (64-frame blocks stamped on
# CLOCK_MONOTONIC), latency = the kick's onset in the recording - the stamp (click_latency.py).
# Without a sequencer device no real MIDI can be sent, so quelmo_midi_to_sound_bench stands in
# for the sequencer client's thread: it stamps and hands a note-on to the deck's MIDI input, and,
# alternating with it in the same run, stamps and plays the pad on the main thread, the step a
# pad key ends in (the baseline). MIDI minus baseline is what the MIDI hand-over adds; it must stay
# within one render block. The key figure itself adds X11's delivery (key_to_sound.sh); the MIDI
# figure adds the kernel's delivery to the sequencer client, which is not measured here.
# Usage: bench/midi_to_sound.sh [BUILD_DIR] [PRESSES]   (built with -DQUELMO_BUILD_BENCH=ON)
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
presses=${2:-30}
bench=$build/bench/quelmo_midi_to_sound_bench
E2E_APP=$bench
for needed in "$bench" "$build/bench/quelmo_monitor_recorder"; do
    [[ -x "$needed" ]] || { echo "build $needed first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
done
source "$(dirname "$0")/../tests/e2e/harness.sh"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/bench_common.sh"

e2e_start_sound >/dev/null
sleep 2 # an idle null sink renders its first second in one go
load=$(bench_load)
bench_record_start midi
"$bench" "$presses" "$E2E_ROOT/midi" >"$E2E_ROOT/midi_bench.log" 2>&1 || e2e_fail "the bench failed: $(cat "$E2E_ROOT/midi_bench.log")"
sleep 0.5
bench_record_stop

report() { # KIND LABEL
    /usr/bin/python3 "$here/click_latency.py" "$E2E_ROOT/midi" "$E2E_ROOT/midi.$1" kick "$2" | grep -v ' press [0-9]*:'
}
echo "note and pad to sound, $presses presses each, alternating, stamp to onset at the sink's monitor (load $load):"
direct=$(report direct "pad on the main thread (baseline)")
midi=$(report midi "MIDI note-on from the input thread")
echo "$direct"
echo "$midi"
grep '^render block' "$E2E_ROOT/midi_bench.log"
block=$(awk '/^render block/ { print $5 }' "$E2E_ROOT/midi_bench.log" | tr -d '(')
d=$(sed -n 's/.*: median \([0-9.]*\) ms.*/\1/p' <<<"$direct")
m=$(sed -n 's/.*: median \([0-9.]*\) ms.*/\1/p' <<<"$midi")
awk -v d="$d" -v m="$m" -v b="$block" 'BEGIN {
    printf "MIDI adds %.2f ms to the median (%.2f render blocks of %.2f ms): %s\n", m - d, (m - d) / b, b,
        (m - d <= b ? "within one render block" : "MORE than one render block") }'
