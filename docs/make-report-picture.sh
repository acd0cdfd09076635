#!/bin/bash
# Draws the README's picture of a report: page 1 of the report the writer's test fills with every
# field (a printer that answered everything, two pages judged, a burn-in ended by a fault), at
# 80 dpi in grey.
# Usage: docs/make-report-picture.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target printer_report_test >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
QT_QPA_PLATFORM=offscreen REPORT_PICTURE_OUT="$work" ./build/tests/ui/printer_report_test \
    samplePicture >/dev/null
pdftoppm -r 80 -gray -png -singlefile "$work/report.pdf" docs/report
