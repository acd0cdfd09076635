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

}  // namespace vp
