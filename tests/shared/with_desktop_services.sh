#!/usr/bin/env bash
# Runs a command inside a desktop of its own: an X server (Xvfb) on a free display, a private
# PulseAudio daemon, and a private D-Bus session bus on which GNOME Keyring serves the Secret
# Service with its login collection unlocked. HOME and the XDG folders point into a temporary
# directory, so no keyring or setting of the user's is touched. Everything is stopped afterwards.
# A service that does not come up fails the run. Works without a display or session bus (as in CI).
# Usage: with_desktop_services.sh COMMAND [ARGS...]
E2E_APP=/bin/true
source "$(dirname "$0")/../e2e/harness.sh"

e2e_start_display
e2e_start_sound

desktop="$E2E_ROOT/desktop"
mkdir -p "$desktop/home" "$desktop/data" "$desktop/config" "$desktop/runtime"
chmod 700 "$desktop/runtime"
export HOME="$desktop/home" XDG_DATA_HOME="$desktop/data" XDG_CONFIG_HOME="$desktop/config"
export XDG_RUNTIME_DIR="$desktop/runtime"
unset DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL

# Inside the private bus: start the keyring (unlocked with a throwaway password), wait until it
# owns the Secret Service name, run the command, stop the keyring.
inside_bus='
    keyring_log=$1
    shift
    printf quelmo | gnome-keyring-daemon --foreground --unlock --components=secrets >"$keyring_log" 2>&1 &
    keyring=$!
    serving() {
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q "boolean true"
    }
    tries=100
    until serving; do
        if ((--tries == 0)) || ! kill -0 "$keyring" 2>/dev/null; then
            echo "[desktop] FAIL: the Secret Service (gnome-keyring-daemon) did not start" >&2
            cat "$keyring_log" >&2
            kill "$keyring" 2>/dev/null
            exit 1
        fi
        sleep 0.1
    done
    echo "[desktop] Secret Service on the private session bus"
    status=0
    "$@" || status=$?
    kill "$keyring" 2>/dev/null
    wait "$keyring" 2>/dev/null
    exit $status
'
dbus-run-session -- bash -c "$inside_bus" bash "$E2E_ROOT/keyring.log" "$@"
