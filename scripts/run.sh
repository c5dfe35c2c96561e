#!/usr/bin/env bash
# Installs what is missing, builds Quelmo and launches it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUELMO_BUILD_TESTS=OFF >/dev/null
cmake --build build --target quelmo
exec build/src/app/quelmo "$@"
