#!/bin/sh
# Prints what a burn-in costs per round beyond the 0.6 s the technician receipt pauses for (two
# settling pauses of 0.3 s): on a plain file, which is not asked its status, and on the virtual
# printer over a pseudo-terminal and over loopback TCP, asked its status after every round. Target: under 10 ms.
# Usage: bench/burn_in_bench.sh [rounds]
set -eu
cd "$(dirname "$0")/.."
rounds=${1:-20}
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target printer-tester virtual-printer >/dev/null
work=$(mktemp -d)
printer=
trap 'if [ -n "$printer" ]; then kill "$printer" 2>/dev/null || :; wait "$printer" || :; fi; rm -rf "$work"' EXIT

# One run: the round times' minimum, median and maximum, and the whole run per round, each less
# the receipt's pause, in milliseconds.
measure() {
    json=$(./build/app/printer-tester --port "$2" --burn-in "$rounds" --json 2>/dev/null) || {
        echo "$1: the burn-in failed: $json" >&2
        exit 1
    }
    echo "$json" | awk -v what="$1" -v rounds="$rounds" '{
        match($0, /"round_ms":\{"min":[0-9]+,"median":[0-9]+,"max":[0-9]+\}/)
        split(substr($0, RSTART, RLENGTH), t, /[^0-9]+/)
        match($0, /"elapsed_ms":[0-9]+/)
        elapsed = substr($0, RSTART + 13, RLENGTH - 13)
        printf "%-34s overhead per round: min %d ms, median %d ms, max %d ms; whole run %.1f ms a round\n",
               what, t[2] - 600, t[3] - 600, t[4] - 600, elapsed / rounds - 600
    }'
}

: >"$work/printer.bin"
measure "plain file ($rounds rounds)" "$work/printer.bin"

# The virtual printer on each of its lines, asked its status after every round.
for line in --pty --listen; do
    address=
    [ "$line" = --listen ] && address=0
    rm -f "$work/vp.log"
    # shellcheck disable=SC2086 # no address for --pty
    ./build/virtual_printer/virtual-printer $line $address --out "$work/out" >"$work/vp.log" \
        2>/dev/null </dev/null &
    printer=$!
    for _ in $(seq 50); do
        grep -q '^port: ' "$work/vp.log" 2>/dev/null && break
        sleep 0.1
    done
    port=$(sed -n 's/^port: //p' "$work/vp.log")
    measure "virtual printer, ${line#--} ($rounds rounds)" "$port"
    kill "$printer"
    wait "$printer" || :
    printer=
done
