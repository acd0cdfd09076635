#!/bin/bash
# The decoder's throughput on the tester's receipts, this tree's against an earlier
# revision's, side by side: both decoders are built in release from source, and timed in
# turns, so that a busy machine slows both alike. Prints the median and best of each and the
# ratio of the medians. A shared or throttled processor's speed can vary by a third from one
# minute to the next; the ratio holds.
# Usage: bench/decoder_against.sh REVISION [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
revision=$1
rounds=${2:-15}
build=build-release
[ -f $build/build.ninja ] || cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $build --target vprinter_decoder tester_jobs >/dev/null

work=$(mktemp -d)
cleanup() {
    git worktree remove --force "$work/before" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
git worktree add --detach "$work/before" "$revision" >/dev/null 2>&1
cmake -S "$work/before" -B "$work/before/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/before/build" --target vprinter_decoder >/dev/null

# One driver for both, built the same way against each tree's decoder.
driver() {
    c++ -std=c++20 -O2 -I bench -I "$1/virtual_printer/decoder" bench/decoder_throughput.cpp \
        "$2/virtual_printer/libvprinter_decoder.a" -lzint -o "$3"
}
driver "$work/before" "$work/before/build" "$work/before-decoder"
driver . $build "$work/now-decoder"

streams=()
for receipt in technician welcome brochure; do
    : >"$work/$receipt.bin"
    ./$build/bench/tester_jobs "$work/$receipt.bin" $receipt >/dev/null
    streams+=("$work/$receipt.bin")
done

for _ in $(seq "$rounds"); do
    "$work/before-decoder" "${streams[@]}" >>"$work/before.txt"
    "$work/now-decoder" "${streams[@]}" >>"$work/now.txt"
done
summary() { sort -n "$1" | awk '{ v[NR] = $1 } END { printf "%.1f %.1f", v[int((NR + 1) / 2)], v[NR] }'; }
read -r before_median before_best <<<"$(summary "$work/before.txt")"
read -r now_median now_best <<<"$(summary "$work/now.txt")"
printf 'decoder at %s: median %s MB/s, best %s MB/s of processor time (%d rounds of 32 MB)\n' \
    "$(git rev-parse --short "$revision")" "$before_median" "$before_best" "$rounds"
printf 'decoder now: median %s MB/s, best %s MB/s\n' "$now_median" "$now_best"
awk -v b="$before_median" -v n="$now_median" 'BEGIN { printf "now %.2f times as fast\n", n / b }'
