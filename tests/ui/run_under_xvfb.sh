#!/bin/sh
# Runs a command against a virtual X server of its own, for window tests that need real
# window-system input. Usage: run_under_xvfb.sh COMMAND [ARGUMENT...]
set -eu
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb "$@"
