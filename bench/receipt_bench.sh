#!/bin/sh
# Prints wall time and processor time per test receipt: by the printer library
# alone (its pauses sleep) to a pseudo-terminal and to a network printer on
# 127.0.0.1, with the time to "connection refused"; then through the real main
# window off screen (its pauses pump Qt events); then how long the window goes
# without painting while a job waits on a stalled printer.
# Usage: bench/receipt_bench.sh [rounds]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target receipt_bench window_receipt_bench window_stall_bench >/dev/null
echo "printer library:"
./build/bench/receipt_bench "${1:-10}"
echo "main window:"
./build/bench/window_receipt_bench "${1:-10}"
echo "window while a printer stalls:"
./build/bench/window_stall_bench 2000
