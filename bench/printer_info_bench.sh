#!/bin/sh
# Prints the time from a click on 读取 to its box through the diagnosis window (off screen), for
# a printer answering every readout request over a pseudo-terminal and over loopback TCP, with
# the longest pause in the window's painting meanwhile (target: under 100 ms to the box).
# With --virtual, also for virtual-printer --pty; "answered" says whether it answered every
# request (it does once it answers GS ( E and GS g 2).
# Usage: bench/printer_info_bench.sh [--virtual] [rounds]
set -eu
cd "$(dirname "$0")/.."
virtual=
if [ "${1:-}" = --virtual ]; then virtual=1; shift; fi
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target printer_info_bench ${virtual:+virtual-printer} >/dev/null
if [ -z "$virtual" ]; then
    exec ./build/bench/printer_info_bench "${1:-10}"
fi
out=$(mktemp -d)
fifo=$out/lines
mkfifo "$fifo"
./build/virtual_printer/virtual-printer --pty --out "$out" >"$fifo" &
printer=$!
trap 'kill $printer 2>/dev/null; rm -rf "$out"' EXIT
exec 3<"$fifo"
read -r first <&3
port=${first#port: }
./build/bench/printer_info_bench "${1:-10}" "$port"
