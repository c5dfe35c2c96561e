#!/usr/bin/env bash
# What REC costs: the engine paced in real time with and without recording, in the same run.
# Usage: bench/set_recording.sh [BUILD_DIR] [SECONDS_PER_STRETCH]   (the build needs -DQUELMO_BUILD_BENCH=ON)
set -euo pipefail
build=${1:-build}
tool="$build/bench/quelmo_set_recording_bench"
[[ -x "$tool" ]] || { echo "build $tool first (cmake -DQUELMO_BUILD_BENCH=ON)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" "${2:-10}" "$work"
