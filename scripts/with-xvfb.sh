#!/bin/sh
# Runs a command against a virtual X server of its own (Debian's xvfb), with
# DISPLAY pointing at it and Qt drawing through X; the server ends with the
# command. Usage: scripts/with-xvfb.sh COMMAND [ARGUMENT...]
set -eu
work=$(mktemp -d)
# The server picks a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
# Ended by a signal, the shell would skip its exit trap and leave the server running.
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
status=0
DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb "$@" || status=$?
exit "$status"
