#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "printer_state.h"

namespace vp {

// The names a person or a script gives the simulated printer's faults and sensors, as in
// `--state cover-open,paper-end` and the lines `set NAME` and `clear NAME`.
struct StateFlag {
    const char* name;
    bool PrinterState::*member;
};
inline constexpr StateFlag stateFlags[] = {
    {"cover-open", &PrinterState::coverOpen},
    {"paper-near-end", &PrinterState::paperNearEnd},
    {"paper-end", &PrinterState::paperEnd},
    {"drawer-open", &PrinterState::drawerOpen},
};

// Sets the flags named in a comma-separated list (empty: none). Returns what is wrong with the
// list, leaving `state` as it was, or nothing.
std::string setStateFlags(std::string_view list, PrinterState& state);
// Carries out one line `set NAME` or `clear NAME`. Returns what is wrong with the line, leaving
// `state` as it was, or nothing.
std::string applyStateCommand(std::string_view line, PrinterState& state);

// "cover-open set", "paper-end cleared", "model NAME": one per difference between the states.
std::vector<std::string> describeChanges(const PrinterState& before, const PrinterState& after);

}  // namespace vp
