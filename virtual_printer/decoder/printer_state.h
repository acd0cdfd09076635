#pragma once

#include <string>
#include <vector>

namespace vp {

// What the simulated printer reports about itself: the faults and sensors a technician or a
// test can set, and the names it gives when asked who it is.
struct PrinterState {
    bool coverOpen = false;
    bool paperNearEnd = false;
    bool paperEnd = false;
    bool drawerOpen = false;  // the drawer sensor on connector pin 3 reads high
    std::string model = "Virtual Printer";

    // A printer with its cover open or out of paper prints nothing and keeps what it receives.
    bool printing() const { return !coverOpen && !paperEnd; }
    friend bool operator==(const PrinterState&, const PrinterState&) = default;
};

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

// "cover-open set", "paper-end cleared", "model NAME": one per difference between the states.
std::vector<std::string> describeChanges(const PrinterState& before, const PrinterState& after);

}  // namespace vp
