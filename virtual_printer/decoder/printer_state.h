#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "character_sets.h"

namespace vp {

// The printer's settings in its non-volatile memory, as GS ( E reads and writes them: the
// eight memory switches, each as the printer sends it (bit 8 first, "0" or "1" a bit), and
// the customized values by their number.
struct PrinterSettings {
    // Customized values, numbered as the command reference numbers them, and one of this
    // printer's own for the code table ESC t selects at power on.
    static constexpr int userMemory = 1, graphicsMemory = 2, paperWidth = 3, printDensity = 5,
                         printSpeed = 6, codeTable = 70;
    // The memories' capacities as the reference codes them: 64 KB of user memory, 384 KB of
    // graphics.
    static constexpr int userMemory64k = 2, graphicsMemory384k = 7;
    // The paper width values of 58 and 80 mm paper.
    static constexpr int width58 = 2, width80 = 6;

    std::array<std::string, 8> memorySwitches = {"00000000", "00000000", "00000000", "00000000",
                                                 "00000000", "00000000", "00000000", "00000000"};
    std::map<int, int> customized = {{userMemory, userMemory64k},
                                     {graphicsMemory, graphicsMemory384k},
                                     {paperWidth, width80},
                                     {printDensity, 0},
                                     {printSpeed, 5},
                                     {codeTable, 0}};
    friend bool operator==(const PrinterSettings&, const PrinterSettings&) = default;
};

// What the simulated printer reports about itself: the faults and sensors a technician or a
// test can set, and the names it gives when asked who it is.
struct PrinterState {
    bool coverOpen = false;
    bool paperNearEnd = false;
    bool paperEnd = false;
    bool drawerOpen = false;  // the drawer sensor on connector pin 3 reads high
    // As an 80 mm printer for the Chinese market names itself.
    std::string model = "POS-80C";
    CharacterRom rom = CharacterRom::Gb18030;
    PrinterSettings settings;
    // How it is connected, for its self-test page: "serial /dev/pts/3", "Ethernet ...".
    std::string interfaceName;

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
