#pragma once

#include <cstdint>
#include <optional>
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

// GS ( E function 1: the notice that the user setting mode has begun, 37 20 00.
std::string userSettingModeNotice();
// GS ( E function 4, switch a = 1 to 8: 37 21, the switch's eight bits as "0" and "1" from
// bit 8 down, 00.
std::string memorySwitchReply(int a, const PrinterState& state);
// GS ( E function 6: 37 27, the value's number in decimal digits, 1F, the value in decimal
// digits, 00; empty for a value the printer does not have.
std::string customizedValueReply(int a, const PrinterState& state);
// GS g 2: 5F, the counter's value in decimal digits, 00; empty for no counter.
std::string maintenanceCounterReply(std::optional<std::uint64_t> value);

// What the printer says it is (GS I 65, 66, 68): the simulated printer's own.
inline constexpr const char* firmwareVersion = "V2.01";
inline constexpr const char* makerName = "VPRINTER";
inline constexpr const char* serialNumber = "VP2026120800001";

}  // namespace vp
