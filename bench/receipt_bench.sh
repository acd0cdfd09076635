#!/bin/sh
# Prints wall time and processor time per test receipt, each printed to a
# pseudo-terminal. Usage: bench/receipt_bench.sh [rounds]
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target receipt_bench >/dev/null
./build/bench/receipt_bench "${1:-10}"
