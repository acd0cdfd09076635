#!/bin/sh
# Prints the time from a click on 查状态 to its box through the main window (off screen), for a
# printer answering over a pseudo-terminal and over loopback TCP, one that answers nothing and
# one that floods bytes, with the longest pause in the window's painting meanwhile.
# Usage: bench/status_bench.sh [rounds]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target status_bench >/dev/null
./build/bench/status_bench "${1:-10}"
