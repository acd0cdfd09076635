#!/bin/bash
# The virtual printer under load: peak memory rendering a 50 MB capture (made at run time),
# memory with 300 MB queued behind a silent client and the time SIGTERM then takes to end it,
# the DLE EOT 1 round trip over loopback TCP and a pseudo-terminal, and processor time at the
# descriptor limit.
# Usage: bench/virtual_printer_load_bench.sh [capture MB] [queued MB]
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target virtual-printer virtual_printer_load_bench >/dev/null
./build/bench/virtual_printer_load_bench ./build/virtual_printer/virtual-printer "$@"
