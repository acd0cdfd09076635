#pragma once

#include <string>

#include "printer_state.h"

namespace vp {

// The bytes a printer in `state` sends back to a request, with the bits of the ESC/POS command
// reference. Each is empty for a request the printer does not answer.

// DLE EOT n, n = 1 to 4: one status byte.
std::string realTimeStatus(int n, const PrinterState& state);
// GS I n: the printer ID (one byte), or a text ID framed as 5F, the text, 00.
std::string printerId(int n, const PrinterState& state);
// GS r n, n = 1, 2, 49, 50: the paper sensor or drawer status byte.
std::string transmittedStatus(int n, const PrinterState& state);
// GS a: the four bytes of automatic status back.
std::string automaticStatusBack(const PrinterState& state);

}  // namespace vp
