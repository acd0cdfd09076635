#pragma once

#include <string>

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

}  // namespace vp
