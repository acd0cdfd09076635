#!/bin/sh
# Makes the receipts in this folder with the general ESC/POS libraries that point-of-sale
# programs use, from npm, installed into a temporary folder (never committed):
#   receiptline 4.0.4                           receipt markup to ESC/POS
#   @point-of-sale/receipt-printer-encoder 4.0.1 a receipt encoder
#   node-thermal-printer 4.6.1                  a thermal printer driver, writing to a buffer
#   escpos-buffer 4.1.0                         a printer library for Brazilian models and Epson
#   escpos 2.5.2, @node-escpos/core 0.6.0       node-escpos, the printer driver, and its successor
#   esc-pos-encoder 3.0.0                       the receipt encoder's earlier name and version
# The tests read the streams, the logo they carry and library-streams.tsv (what each stream's
# codes say); they do not need npm. Usage: tests/virtual_printer/data/make-library-streams.sh
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
npm init -y >/dev/null
npm install --no-audit --no-fund --silent \
    receiptline@4.0.4 \
    @point-of-sale/receipt-printer-encoder@4.0.1 \
    node-thermal-printer@4.6.1 \
    escpos-buffer@4.1.0 \
    escpos@2.5.2 \
    @node-escpos/core@0.6.0 \
    esc-pos-encoder@3.0.0
node "$here/make-library-streams.mjs" "$here"
