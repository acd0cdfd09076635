#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "printer_state.h"

namespace vp {

// Sets the flags (stateFlags) named in a comma-separated list (empty: none). Returns what is wrong
// with the list, leaving `state` as it was, or nothing.
std::string setStateFlags(std::string_view list, PrinterState& state);
// Carries out one line `set NAME` or `clear NAME`. Returns what is wrong with the line, leaving
// `state` as it was, or nothing.
std::string applyStateCommand(std::string_view line, PrinterState& state);
// Whether the line is `reset`: the printer switched off and on.
bool isResetCommand(std::string_view line);
// Sets the settings named in a comma-separated list such as
// "msw1=00100000,width=58,density=-2,speed=3,codetable=16": a memory switch as the printer
// sends it (bit 8 first), the paper width in millimetres (58 or 80), the print density (-6 to
// 8), the print speed (1 to 9) and the code table at power on. Returns what is wrong with the
// list, leaving `settings` as they were, or nothing.
std::string setSettings(std::string_view list, PrinterSettings& settings);

}  // namespace vp
