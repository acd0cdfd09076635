#pragma once

#include <ctime>
#include <string>

#include "receipts.h"

// The receipts as they must reach the printer, written out by hand: the banner phases here, the
// text phases in data/<name>_text_phase.hex.
struct ReceiptStream {
    const char* name;
    ReceiptVariant (*make)();
    std::string bannerPhase;
};
extern const ReceiptStream receiptStreams[3];
// The end of every text phase: two line feeds, each as a line of its own.
extern const std::string closingFeeds;

// Checks a text phase, from its date line to its end, against the expected one; the date line
// must show the date and a time of day just after `startedAt`.
void expectTextPhase(const std::string& text, const ReceiptStream& receipt, std::time_t startedAt);

// Checks one whole receipt as it reached a terminal, returning the bytes that arrived between the
// banner phase and the text phase.
std::string expectReceipt(const std::string& arrived, const ReceiptStream& receipt,
                          std::time_t startedAt);
