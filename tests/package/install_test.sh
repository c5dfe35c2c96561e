#!/usr/bin/env bash
# The package installed for real: dpkg puts it in place, the installed /usr/bin/quelmo shows the
# deck and plays the Kick pad, and removing the package leaves nothing behind.
# It changes the machine, so it runs only as root under CI or with QUELMO_TEST_INSTALL_PACKAGE=1
# (the test command sets it when run as root, as CI does),
# and never where a Quelmo package is installed already. Otherwise it reports itself skipped (77).
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
fail() { echo "[package] FAIL: $*" >&2; exit 1; }
ok() { echo "[package] ok: $*"; }

if [[ $(id -u) -ne 0 || -z "${CI:-}${QUELMO_TEST_INSTALL_PACKAGE:-}" ]]; then
    echo "[package] skipped: installs into the system, so only as root under CI"
    exit 77
fi
if dpkg-query -W -f='${Status}' quelmo 2>/dev/null | grep -q installed || [[ -e /usr/bin/quelmo ]]; then
    echo "[package] skipped: Quelmo is installed on this machine already"
    exit 77
fi
deb=$(ls "$build"/package/quelmo_*.deb 2>/dev/null | head -n 1)
[[ -n "$deb" ]] || fail "no package in $build/package (package.contents builds it)"

remove() { dpkg --purge quelmo >/dev/null 2>&1 || true; }
trap remove EXIT
export DEBIAN_FRONTEND=noninteractive
if ! dpkg -i "$deb"; then
    apt-get install -f -y -qq || fail "apt-get -f install could not complete the installation"
fi
[[ $(dpkg-query -W -f='${Status}' quelmo) == "install ok installed" ]] || fail "dpkg does not list Quelmo as installed"
[[ $(command -v quelmo) == /usr/bin/quelmo ]] || fail "quelmo is not /usr/bin/quelmo on PATH"
ok "installed with dpkg -i"

status=0
bash -s "$here/../e2e/harness.sh" <<'DECK' || status=$?
E2E_APP=/usr/bin/quelmo
source "$1"
e2e_start_display
e2e_start_sound
e2e_launch_deck
e2e_screenshot installed-deck
kicks=$(e2e_kicks_after_key installed)
e2e_check "the installed Quelmo shows the deck and its Kick pad is heard ($kicks kick)" test "$kicks" = 1
e2e_close_window
e2e_wait_app_exit 10
DECK
[[ $status -eq 0 ]] || fail "the installed Quelmo did not play"

dpkg --purge quelmo
for file in $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}'); do
    [[ ! -e "$file" ]] || fail "$file is left after removing the package"
done
! dpkg-query -W -f='${Status}' quelmo 2>/dev/null | grep -q "ok installed" || fail "dpkg still lists Quelmo"
ok "removed cleanly: none of its files is left"
echo "[package] all install checks passed"
