#!/usr/bin/env bash
# Voice drops and the lid tap, as a user meets them: SPEAK says the phrase through the voice chain
# (heard in the recording); with "LID TAP → KICK" on and a test microphone (a source remapped from
# a second null sink's monitor, as the default source), each recorded tap played into that
# microphone fires exactly one kick; with the deck's own output reaching the microphone (speakers
# beside it), one tap still gives one kick, not a stream of kicks set off by the deck's own sound.
# Where there is no microphone and the default source is an output's monitor, the lid tap says "No
# mic input" instead of listening to other applications' sound.
# Usage: voice_lid_tap_test.sh PATH_TO_QUELMO
E2E_APP=$1
source "$(dirname "$0")/harness.sh"

e2e_start_display
e2e_start_sound
# A microphone: a source of its own (not a monitor) that hears what is played into test_mic.
microphone() { # NAME: a null sink NAME and a source NAME_in hearing it
    pactl load-module module-null-sink sink_name="$1" rate=44100 channels=2 \
        sink_properties=device.description="$1" >/dev/null
    pactl load-module module-remap-source master="$1.monitor" source_name="$1_in" \
        source_properties=device.description="$1-microphone" >/dev/null
}
microphone test_mic
pactl set-default-source test_mic_in
# A tap on the lid: 15 ms of decaying noise, loud.
/usr/bin/python3 - "$E2E_ROOT/tap.wav" <<'PY'
import sys, wave
import numpy as np
rate = 44100
n = int(0.015 * rate)
rng = np.random.default_rng(7)
tap = rng.uniform(-1, 1, n) * np.exp(-np.arange(n) / (0.004 * rate)) * 0.9
pcm = (np.concatenate([tap, np.zeros(rate // 10)]) * 32767).astype("<i2")
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(pcm.tobytes())
PY
tap() { pacat --device="$1" --file-format=wav "$E2E_ROOT/tap.wav"; }

e2e_launch_deck

# SPEAK: the preset phrase in the deck's voice.
e2e_record_start voice
sleep 0.3
e2e_click_named "SPEAK"
sleep 3
e2e_record_stop
read -r rms _ < <(/usr/bin/python3 "$E2E_HERE/tone_levels.py" "$E2E_ROOT/voice.wav" 100)
e2e_note "voice drop: rms $rms"
e2e_check "SPEAK is heard" awk "BEGIN { exit !($rms > 0.01) }"
e2e_check "the status names the voice" e2e_is_listed_starting "🎙 Alex · "
e2e_screenshot voice-spoken

# The lid tap, through the test microphone.
e2e_click_named "LID TAP → KICK"
e2e_wait_for 10 e2e_is_listed "Mic on — tap or pat the lid (near mic) for kick" ||
    e2e_fail "the lid tap did not start listening"
e2e_screenshot lid-tap-listening
sleep 1
e2e_record_start taps
sleep 0.3
tap test_mic
sleep 1
tap test_mic
sleep 1.5
e2e_record_stop
read -r _ count onsets < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/taps.wav" kicks)
e2e_note "two taps: $count kicks at $onsets"
e2e_check "each tap fires one kick" test "$count" = 2

# Speakers beside the microphone on a slow output: the deck's output reaches the "microphone" (a
# room sink's monitor) 0.35 s late, past the 0.3 s between taps. One tap in the room fires the kick
# once; the kick coming back through the microphone does not fire it again, and again.
microphone room
pactl load-module module-loopback source=quelmo_test.monitor sink=room latency_msec=350 >/dev/null
e2e_click_named "LID TAP → KICK"
pactl set-default-source room_in
e2e_click_named "LID TAP → KICK"
e2e_wait_for 10 e2e_is_listed "Mic on — tap or pat the lid (near mic) for kick" ||
    e2e_fail "the lid tap did not start listening again"
sleep 1
e2e_record_start echo
sleep 0.3
tap room
sleep 3
e2e_record_stop
read -r _ count onsets < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/echo.wav" kicks)
e2e_note "one tap with the deck's output in the microphone: $count kicks at $onsets"
e2e_check "the deck's own kick does not fire it again" test "$count" = 1

# No microphone: the server's default source is the test sink's monitor, where other applications'
# sound plays. It is no microphone.
e2e_click_named "LID TAP → KICK"
pactl set-default-source quelmo_test.monitor
e2e_click_named "LID TAP → KICK"
e2e_wait_for 10 e2e_is_listed "No mic input" || e2e_fail "an output's monitor was taken for a microphone"
e2e_record_start music
sleep 0.3
tap quelmo_test
sleep 1
e2e_record_stop
read -r _ count _ < <(/usr/bin/python3 "$E2E_HERE/analyze_recording.py" "$E2E_ROOT/music.wav" kicks)
e2e_check "another application's sound fires no kick ($count)" test "$count" = 0
e2e_note "ok"
