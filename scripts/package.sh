#!/usr/bin/env bash
# Builds Quelmo's Debian package and prints its path.
#   bash scripts/package.sh                  a Release build of the application in build-package/
#   bash scripts/package.sh --from DIR       packages what an existing build in DIR holds
# Install the result with: sudo apt install ./build-package/package/quelmo_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

dir=build-package
if [[ ${1:-} == --from ]]; then
    dir=${2:?usage: package.sh --from BUILD_DIR}
    [[ -f "$dir/CPackConfig.cmake" ]] || { echo "package.sh: $dir is not a configured build" >&2; exit 1; }
else
    bash scripts/install-deps.sh >&2
    # Debian's hardening flags (fortified calls, stack protector, full RELRO, immediate binding).
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
        LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUELMO_BUILD_TESTS=OFF >&2
fi
cmake --build "$dir" -j "$(nproc)" >&2
out="$dir/package"
rm -rf "$out"
(cd "$dir" && cpack -G DEB -B "$PWD/package" >&2)
rm -rf "$out/_CPack_Packages"
deb=$(ls "$out"/quelmo_*.deb)
echo "$deb"
