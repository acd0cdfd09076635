// The printer's own diagnosis: its test prints (GS ( A: the status printout, hex dump mode),
// the user setting mode in which its settings are read and written (GS ( E), and its
// maintenance counters (GS g).
#include "decoder_internals.h"

#include <algorithm>
#include <utility>

#include "character_sets.h"
#include "printer_replies.h"

namespace vp {

using namespace decoding;

namespace {

// Bytes a row of hex dump shows: "1B 40 0A 41 42 43 44 45 .@.ABCDE" fits 58 mm paper too.
constexpr std::size_t hexRowBytes = 8;

std::string hexRow(std::string_view bytes) {
    std::string row = hexBytes(bytes);
    row.resize(3 * hexRowBytes, ' ');
    for (char c : bytes) row += c >= 0x20 && c < 0x7F ? c : '.';
    return row;
}

// Whether a customized value may be set to `value`: the paper widths of 58 and 80 mm, the
// densities -6 to 8 (70 % to 140 %), the speeds 1 to 9 and the code tables the printer has.
bool acceptable(int a, int value) {
    switch (a) {
        case PrinterSettings::paperWidth:
            return value == PrinterSettings::width58 || value == PrinterSettings::width80;
        case PrinterSettings::printDensity:
            return value >= -6 && value <= 8;
        case PrinterSettings::printSpeed:
            return value >= 1 && value <= 9;
        case PrinterSettings::codeTable:
            return *codeTableName(value) != '\0';
        default:
            return false;
    }
}

std::string paperWidthText(int value) {
    return value == PrinterSettings::width58 ? "58 mm" : "80 mm";
}

}  // namespace

void Decoder::printTextLine(const std::string& ascii) {
    for (char c : ascii) place(Run::Kind::Single, static_cast<unsigned char>(c));
    printLine(modes_.lineSpacing);
}

// A test print starts only at the beginning of a line, in the modes of power on.
bool Decoder::startTestPrint(const Received& command, const std::string& event) {
    if (line_.started) {
        mark(command.bytes, "test print ignored: not at the beginning of a line");
        return false;
    }
    note(event);
    modes_ = Modes{};
    looksKnown_ = false;
    updateArea();
    return true;
}

void Decoder::statusPrintout(const Received& command) {
    if (!startTestPrint(command, "status printout")) return;
    const PrinterSettings& settings = state_.settings;
    const auto value = [&settings](int a) {
        const auto found = settings.customized.find(a);
        return found == settings.customized.end() ? 0 : found->second;
    };
    // The counters as they stood when it began.
    const MaintenanceCounters counters = sink_.counters;
    const auto counter = [&counters](int which) {
        return number(counters.value(which).value_or(0));
    };
    printTextLine("*** Printer status ***");
    printTextLine("Model: " + state_.model);
    printTextLine(std::string("Maker: ") + makerName);
    printTextLine(std::string("Firmware: ") + firmwareVersion);
    printTextLine(std::string("Serial: ") + serialNumber);
    printTextLine(std::string("Character ROM: ") + romName(state_.rom));
    printTextLine("Interface: " + (state_.interfaceName.empty() ? "-" : state_.interfaceName));
    printTextLine("Paper width: " + paperWidthText(value(PrinterSettings::paperWidth)) + ", " +
                  number(paper_.printableDots) + " dots");
    printTextLine("Print density: " + std::to_string(value(PrinterSettings::printDensity)));
    printTextLine("Print speed: " + std::to_string(value(PrinterSettings::printSpeed)));
    const int table = value(PrinterSettings::codeTable);
    printTextLine("Code table: " + std::to_string(table) + " " + codeTableName(table));
    for (std::size_t i = 0; i < settings.memorySwitches.size(); ++i)
        printTextLine("Memory switch " + number(i + 1) + ": " + settings.memorySwitches[i]);
    printTextLine("Lines fed: " + counter(148));
    printTextLine("Head energized: " + counter(149));
    printTextLine("Cuts: " + counter(178));
    printTextLine("Hours: " + counter(198));
    printLine(4 * modes_.lineSpacing);
    cut(true, command.bytes);
    softwareReset(command);
}

void Decoder::hexDumpMode(const Received& command) {
    if (!startTestPrint(command, "hex dump mode on")) return;
    printTextLine("Hexadecimal Dump");
    printTextLine("Ends when the printer is switched off");
    hexDump_ = true;
}

void Decoder::otherTestPrint(const Received& command) {
    note("not drawn: test print " + hexBytes(command.bytes));
}

void Decoder::dumpHex(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t taken = std::min(bytes.size(), hexRowBytes - hexRow_.size());
        hexRow_.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        if (hexRow_.size() == hexRowBytes) printHexRow();
    }
}

void Decoder::printHexRow() {
    printTextLine(hexRow(hexRow_));
    hexRow_.clear();
}

void Decoder::softwareReset(const Received& command) {
    userSettingMode_ = false;
    initialise(command);
}

void Decoder::powerCycle() {
    if (!hexRow_.empty()) printHexRow();
    if (line_.started) note("switched off: a line that had not been printed is lost");
    line_.clear();
    modes_ = Modes{};
    looksKnown_ = false;
    updateArea();
    pending_.clear();
    wanted_ = skip_ = 0;
    nulMayFollow_ = false;
    arriving_.clear();
    framedAhead_ = 0;
    held_.clear();
    lost_ = 0;
    graphicsBuffer_.reset();
    downloadedImage_.reset();
    symbolData_.clear();
    statusBackOn_ = userSettingMode_ = false;
    note(std::exchange(hexDump_, false) ? "switched off and on: hex dump mode ended"
                                        : "switched off and on");
}

// GS ( E function 1, "IN": the printer answers that it is in the user setting mode.
void Decoder::enterUserSetting(const Received& command) {
    if (command.data != "\x01IN") {
        invalid(command);
        return;
    }
    userSettingMode_ = true;
    reply(userSettingModeNotice(), "GS ( E 1");
}

// Function 2, "OUT": the mode ends with a software reset, and no answer.
void Decoder::endUserSetting(const Received& command) {
    if (command.data != "\x02OUT") {
        invalid(command);
    } else if (!userSettingMode_) {
        note("user setting mode ended without having begun " + hexBytes(command.bytes));
    } else {
        note("user setting mode ended: the printer resets");
        softwareReset(command);
    }
}

// Function 3: [a b8 ... b1]..., each b "0", "1" or "2" (unchanged). Only in the user setting
// mode, and only the simulation's switches change.
void Decoder::setMemorySwitches(const Received& command) {
    const std::string_view groups = command.data.substr(1);
    bool valid = !groups.empty() && groups.size() % 9 == 0;
    for (std::size_t at = 0; valid && at < groups.size(); at += 9) {
        valid = within(byteAt(groups, at), 1, 8);
        for (std::size_t bit = 1; valid && bit <= 8; ++bit)
            valid = within(byteAt(groups, at + bit), '0', '2');
    }
    if (!valid) {
        invalid(command);
        return;
    }
    if (refusedOutsideUserSetting(command, "memory switches")) return;
    for (std::size_t at = 0; at < groups.size(); at += 9) {
        std::string& bits = state_.settings.memorySwitches[byteAt(groups, at) - 1u];
        for (std::size_t bit = 0; bit < 8; ++bit)
            if (groups[at + 1 + bit] != '2') bits[bit] = groups[at + 1 + bit];
        note("memory switch " + number(byteAt(groups, at)) + " set to " + bits);
    }
}

// Functions 4 and 6, a: a memory switch or a customized value, in either mode.
void Decoder::sendSetting(const Received& command) {
    if (command.data.size() != 2) {
        invalid(command);
        return;
    }
    const int fn = byteAt(command.data, 0), a = byteAt(command.data, 1);
    const auto answer = fn == 4 ? memorySwitchReply : customizedValueReply;
    reply(answer(a, state_), "GS ( E " + number(fn) + " " + number(a));
}

bool Decoder::refusedOutsideUserSetting(const Received& command, const std::string& what) {
    if (userSettingMode_) return false;
    note(what + " refused: not in user setting mode, " + hexBytes(command.bytes, markerBytesShown));
    return true;
}

// Function 5: [a nL nH]...; as function 3, only in the user setting mode.
void Decoder::setCustomizedValues(const Received& command) {
    const std::string_view groups = command.data.substr(1);
    if (groups.empty() || groups.size() % 3 != 0) {
        invalid(command);
        return;
    }
    if (refusedOutsideUserSetting(command, "customized values")) return;
    for (std::size_t at = 0; at < groups.size(); at += 3) {
        const int a = byteAt(groups, at);
        int value = static_cast<int>(little(groups, at + 1));
        // Densities below the standard one are sent as 65530 to 65535.
        if (a == PrinterSettings::printDensity && value >= 65530) value -= 65536;
        if (!acceptable(a, value)) {
            note("customized value " + number(a) + " not set to " + std::to_string(value));
            continue;
        }
        state_.settings.customized[a] = value;
        note("customized value " + number(a) + " set to " + std::to_string(value));
    }
}

void Decoder::otherUserSetting(const Received& command) {
    note("user setting function " + number(byteAt(command.data, 0)) + " passed over, " +
         hexBytes(command.bytes, markerBytesShown));
}

// GS g 2 m nL nH: a counter's value; m is 0.
void Decoder::sendCounter(const Received& command) {
    if (command.parameter(0) != 0) {
        invalid(command);
        return;
    }
    const int n = static_cast<int>(little(command.parameters, 1));
    reply(maintenanceCounterReply(sink_.counters.value(n)), "GS g 2 " + number(n));
}

// GS g 0 m nL nH: a resettable counter starts again.
void Decoder::resetCounter(const Received& command) {
    const int n = static_cast<int>(little(command.parameters, 1));
    if (command.parameter(0) != 0 || !sink_.counters.reset(n)) {
        invalid(command);
        return;
    }
    note("maintenance counter " + number(n) + " reset");
}

}  // namespace vp
