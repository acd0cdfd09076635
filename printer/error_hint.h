#pragma once

#include <string>
#include <vector>

#include "port_scan.h"

// What the hint for a port that failed to open is decided on.
struct OpenFailure {
    int error = 0;      // the system's error number
    std::string typed;  // the port name as the technician typed or chose it
    std::string tried;  // the device path or network address actually tried
    bool network = false;
    // For a device: the group that owns it ("" when unknown), the groups this program runs with,
    // and the groups the system's group database gives the user (these take effect at the next
    // login).
    std::string deviceGroup;
    std::vector<std::string> sessionGroups;
    std::vector<std::string> memberGroups;
    // The printer ports this machine has, for a device that does not exist.
    std::vector<FoundPort> found;
};

// The second line of the error box: what the technician should do, in the user's language
// (Chinese when the messages locale is Chinese, English otherwise), naming the device or address
// tried when it differs from the name typed. Empty when there is nothing to add.
std::string hintFor(const OpenFailure& failure);

// The facts of this machine for a device that failed to open: its group, the program's and the
// user's groups, and (for a missing device) the printer ports found.
OpenFailure deviceOpenFailure(int error, const std::string& typed, const std::string& tried);
