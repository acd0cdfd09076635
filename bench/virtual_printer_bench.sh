#!/bin/bash
# The virtual printer's costs: decoder throughput and drawing time per receipt on the tester's
# real streams, throughput on the npm libraries' receipts, the time to decode and draw a receipt
# with a 576 x 200 logo and a QR code, pictures written as before beside today's (a 200-line
# receipt, a library receipt, a 50 MB capture; processor time), then the resident memory and
# processor time of the idle program, headless and (where Xvfb is installed) with its window,
# before and after it has printed a receipt. Measured on a release build of its own, build-release.
# Usage: bench/virtual_printer_bench.sh [seconds idle]
set -euo pipefail
cd "$(dirname "$0")/.."
idle="${1:-10}"
build=build-release
[ -f $build/build.ninja ] || cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $build --target virtual-printer virtual_printer_bench tester_jobs >/dev/null
./$build/bench/virtual_printer_bench

work=$(mktemp -d)
cleanup() {
    for pid_file in "$work"/*.pid; do [ -f "$pid_file" ] && kill "$(cat "$pid_file")" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

ticks_per_second=$(getconf CLK_TCK)
processor_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

# Starts the program with the given options, waits for its port line and prints the port.
start() {
    local name=$1
    shift
    ./$build/virtual_printer/virtual-printer "$@" >"$work/$name.out" 2>/dev/null &
    echo $! >"$work/$name.pid"
    for _ in $(seq 100); do
        grep -q '^port: ' "$work/$name.out" 2>/dev/null && break
        sleep 0.05
    done
    sed -n 's/^port: //p' "$work/$name.out"
}

# Prints memory and processor time over the idle interval.
measure_idle() {
    local name=$1 label=$2 pid
    pid=$(cat "$work/$name.pid")
    sleep 1
    local before
    before=$(processor_ticks "$pid")
    sleep "$idle"
    local after
    after=$(processor_ticks "$pid")
    printf '%-32s VmRSS %6d KiB, processor time idle %.2f s in %d s\n' "$label:" \
        "$(rss_kib "$pid")" "$(awk -v t=$((after - before)) -v hz="$ticks_per_second" 'BEGIN { print t / hz }')" "$idle"
}

idle_after_a_receipt() {
    local name=$1 label=$2 port=$3
    ./$build/bench/tester_jobs "$port" technician >/dev/null
    measure_idle "$name" "$label, after a receipt"
}

port=$(start pty --pty --out "$work/pictures")
measure_idle pty "pty, headless"
idle_after_a_receipt pty "pty, headless" "$port"
start tcp --listen 127.0.0.1:0 --out "$work/pictures" >/dev/null
measure_idle tcp "listen, headless"

if command -v Xvfb >/dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    echo $! >"$work/xvfb.pid"
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n1 "$work/display")"
    port=$(start window --pty)
    measure_idle window "pty, window"
    idle_after_a_receipt window "pty, window" "$port"
fi
