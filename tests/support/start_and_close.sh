#!/bin/sh
# Starts the tester and closes its main window from the title bar, as a user
# does, ROUNDS times; fails when the program does not end cleanly or a
# sanitizer reports anything. Needs an X server (scripts/with-xvfb.sh).
# Usage: tests/support/start_and_close.sh PROGRAM [ROUNDS]
set -eu
program=$1
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for round in $(seq "${2:-3}"); do
    "$program" >"$output" 2>&1 &
    tester=$!
    /usr/bin/python3 "$(dirname "$0")/close_window.py" "澄星--柯岚" "$tester" 30 || true
    # Closed, the program ends at once; one that has not ended within a minute hangs.
    for _ in $(seq 600); do kill -0 "$tester" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$tester" 2>/dev/null; then
        kill -9 "$tester"
        echo "start-and-close round $round: the program did not end after its window was closed" >&2
    fi
    status=0
    wait "$tester" || status=$?
    if [ "$status" -ne 0 ] || grep -q -e "ERROR: AddressSanitizer" -e "runtime error:" "$output"; then
        cat "$output" >&2
        echo "start-and-close round $round failed (exit status $status)" >&2
        exit 1
    fi
    echo "start-and-close round $round: clean"
done
