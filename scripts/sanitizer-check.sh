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
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-sanitize

export ASAN_OPTIONS="abort_on_error=0:halt_on_error=1:detect_leaks=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-sanitize --output-on-failure

./scripts/with-xvfb.sh tests/support/start_and_close.sh build-sanitize/app/printer-tester 3
