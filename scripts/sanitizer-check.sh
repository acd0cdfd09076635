#!/bin/sh
# Builds the tool and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/, runs the whole test suite, then
# starts the real program under a virtual X server and closes its main window
# from the title bar, three times. Any sanitizer report fails the check.
# Usage: scripts/sanitizer-check.sh
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh sanitize

flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
cmake -S . -B build-sanitize -G Ninja -DBUILD_TESTING=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-sanitize

export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-sanitize --output-on-failure

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# The server picks a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb

for round in 1 2 3; do
    timeout 60 ./build-sanitize/app/printer-tester >"$work/output" 2>&1 &
    tester=$!
    if ! /usr/bin/python3 tests/support/close_window.py "澄星--柯岚" 30; then
        kill "$tester" 2>/dev/null || true
    fi
    status=0
    wait "$tester" || status=$?
    if [ "$status" -ne 0 ] || grep -q -e "ERROR: AddressSanitizer" -e "runtime error:" "$work/output"; then
        cat "$work/output" >&2
        echo "start-and-close round $round failed (exit status $status)" >&2
        exit 1
    fi
    echo "start-and-close round $round: clean"
done
