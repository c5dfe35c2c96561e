#!/usr/bin/env bash
# Model-checks the engine's retire protocol with spin: reading the epoch with a read-modify-write,
# as the engine does, no block ever reads a freed list; with a plain load, spin must find one (so
# the check can tell the two apart).
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
with_rmw=$(verify -DRMW)
with_load=$(verify)
echo "reading the epoch with a read-modify-write: $with_rmw errors; with a plain load: $with_load errors"
[[ "$with_rmw" == 0 && "$with_load" != 0 ]]
