#!/usr/bin/env bash
# Runs a command with a private PulseAudio daemon (a null sink "quelmo_test", its own socket and
# runtime directory) in PULSE_SERVER, and stops the daemon afterwards.
# Usage: with_sound_server.sh COMMAND [ARGS...]
E2E_APP=/bin/true
source "$(dirname "$0")/harness.sh"
e2e_start_sound
"$@"
