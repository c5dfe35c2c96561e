#!/usr/bin/env bash
# Model-checks the engine's retire protocol with spin: with the fence the engine has, no block ever
# reads a freed list; without it, spin must find one (so the check can tell the two apart).
set -euo pipefail
model=$(cd "$(dirname "$0")" && pwd)/RetireProtocol.pml
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
verify() { # extra spin options; prints the assertion violations spin found (a main thread still
    # waiting for a block when the render thread has stopped is no error: -E)
    spin -a "$@" "$model" >/dev/null
    gcc -O1 -w -DSAFETY -o pan pan.c
    ./pan -E | awk '/errors:/ { print $NF }'
}
with_fence=$(verify -DFENCE)
without=$(verify)
echo "with the fence: $with_fence errors; without it: $without errors"
[[ "$with_fence" == 0 && "$without" != 0 ]]
