#!/bin/sh
# Prints wall time and processor time per test receipt, each printed to a
# pseudo-terminal: first by the printer library alone (its pauses sleep), then
# through the real main window off screen (its pauses pump Qt events).
# Usage: bench/receipt_bench.sh [rounds]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target receipt_bench window_receipt_bench >/dev/null
echo "printer library:"
./build/bench/receipt_bench "${1:-10}"
echo "main window:"
./build/bench/window_receipt_bench "${1:-10}"
