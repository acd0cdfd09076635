#!/bin/bash
# Starts the tool under a virtual X server and prints, per round, the time from
# starting the process to its splash window being mapped, the time to the main
# window being mapped, and the resident memory of the running program once the
# main window shows. Needs Debian's xvfb and x11-utils (xev).
# Usage: bench/window_bench.sh [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-5}"

if [ ! -x build/app/printer-tester ] || [ -n "$(find app ui printer -newer build/app/printer-tester -print -quit)" ]; then
    [ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
    cmake --build build --target printer-tester >/dev/null
fi

# The rounds run against a virtual X server of their own.
if [ "${1:-}" != --on-display ]; then
    exec ./scripts/with-xvfb.sh "$(pwd)/bench/window_bench.sh" --on-display "$rounds"
fi
rounds="${2:-5}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

microseconds() { local t=${EPOCHREALTIME/./}; echo $((10#$t)); }

splash_ms=()
main_ms=()
rss_kib=()
for round in $(seq "$rounds"); do
    mkfifo "$work/events"
    # Every window created and mapped on the root, as it happens.
    stdbuf -oL xev -root -event substructure >"$work/events" 2>/dev/null &
    xev_pid=$!
    exec 4<"$work/events"
    sleep 0.2

    start=$(microseconds)
    ./build/app/printer-tester >/dev/null 2>&1 &
    app_pid=$!

    splash_id="" main_id="" splash_at="" main_at=""
    while [ -z "$main_at" ] && IFS= read -r -t 10 line <&4; do
        case "$line" in
            *"width 393, height 174"*) splash_id=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line") ;;
            *"width 459, height 415"*) main_id=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line") ;;
            MapNotify*) mapped=1 ;;
            *"event 0x"*", window "*) if [ "${mapped:-}" = 1 ]; then
                    now=$(microseconds)
                    window=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
                    [ "$window" != "$splash_id" ] || [ -n "$splash_at" ] || splash_at=$now
                    [ "$window" != "$main_id" ] || main_at=$now
                fi
                mapped="" ;;
        esac
    done
    if [ -z "$splash_at" ] || [ -z "$main_at" ]; then
        echo "round $round: the windows did not appear" >&2
        exit 1
    fi
    # Let the main window finish drawing before reading its memory.
    sleep 0.5
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status")

    kill "$app_pid" "$xev_pid" 2>/dev/null || true
    wait "$app_pid" "$xev_pid" 2>/dev/null || true
    exec 4<&-
    rm -f "$work/events"

    splash_ms+=($(((splash_at - start) / 1000)))
    main_ms+=($(((main_at - start) / 1000)))
    rss_kib+=("$rss")
    printf 'round %d: splash mapped %d ms, main window mapped %d ms, VmRSS %d KiB\n' \
        "$round" "${splash_ms[-1]}" "${main_ms[-1]}" "$rss"
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
rss=$(median "${rss_kib[@]}")
printf 'median of %d: splash mapped %d ms after start, main window %d ms, VmRSS %d KiB (%s MiB)\n' \
    "$rounds" "$(median "${splash_ms[@]}")" "$(median "${main_ms[@]}")" "$rss" \
    "$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')"
