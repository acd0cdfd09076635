#!/bin/bash
# Draws the README's pictures: the tester's three receipts and its barcode job, written by the
# tester's own printer library to virtual-printer's pseudo-terminal, as virtual-printer shows
# them, and a receipt receiptline (an npm receipt library) made, with a logo and a QR code.
# Usage: docs/make-receipt-pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target virtual-printer tester_jobs >/dev/null

work=$(mktemp -d)
./build/virtual_printer/virtual-printer --pty --out "$work" >"$work/lines" &
printer=$!
trap 'kill $printer 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q '^port: ' "$work/lines" && break; sleep 0.05; done
./build/bench/tester_jobs "$(sed -n 's/^port: //p' "$work/lines")" technician welcome brochure barcode
for _ in $(seq 100); do [ -f "$work/receipt-004.png" ] && break; sleep 0.05; done
cp "$work/receipt-001.png" docs/receipt-technician.png
cp "$work/receipt-002.png" docs/receipt-welcome.png
cp "$work/receipt-003.png" docs/receipt-brochure.png
cp "$work/receipt-004.png" docs/receipt-barcode.png
./build/virtual_printer/virtual-printer --render tests/virtual_printer/data/receiptline-escpos.bin \
    --out "$work/library" >/dev/null
cp "$work/library/receipt-001.png" docs/receipt-library.png
sed 1d "$work/lines"
# The diagnosis pages, as virtual-printer draws the streams the tester's library builds.
cmake --build build --target vprinter_diagnostic_pages_tests >/dev/null
DIAGNOSTIC_PAGES_OUT=docs ./build/tests/virtual_printer/vprinter_diagnostic_pages_tests \
    --gtest_filter=DiagnosticPages.Pictures >/dev/null
