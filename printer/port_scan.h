#pragma once

#include <string>
#include <vector>

// A printer port found on this machine: its device path and, for a USB device, the maker's and
// the product's names as the device reports them ("" when it reports none).
struct FoundPort {
    std::string path;
    std::string maker;
    std::string product;

    // "Maker Product", or whichever of the two the device reports; "" when it reports neither.
    std::string names() const;

    bool operator==(const FoundPort&) const = default;
};

// Where a scan looks: the device folder and the kernel's sysfs. The window scans the machine's
// own; tests give a tree of their own.
struct ScanRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// The printer ports that exist under roots.dev: usb/lp*, ttyUSB*, ttyACM*, rfcomm*, lp*, and the
// ttyS* that have a UART behind them (the kernel makes ttyS0-3 whether or not there is one; sysfs
// says which are real). In that order of kinds, each kind by number (ttyUSB2 before ttyUSB10).
// Paths are roots.dev followed by the device's name. Costs a few directory reads.
std::vector<FoundPort> scanPrinterPorts(const ScanRoots& roots = {});
