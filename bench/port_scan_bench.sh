#!/bin/sh
# Prints the ports the list would show on this machine and the time one scan takes, mean and
# longest over the rounds.
# Usage: bench/port_scan_bench.sh [rounds]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target port_scan_bench >/dev/null
./build/bench/port_scan_bench "${1:-1000}"
