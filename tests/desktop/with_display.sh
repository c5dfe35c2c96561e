#!/usr/bin/env bash
# Runs a command on an X server of its own (Xvfb on a free display), stopped afterwards.
# Usage: with_display.sh COMMAND [ARGS...]
E2E_APP=/bin/true
source "$(dirname "$0")/../e2e/harness.sh"
e2e_start_display
status=0
"$@" || status=$?
exit $status
