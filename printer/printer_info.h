#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class JobHost;

// What a printer says about itself when asked, read only: who it is (GS I), how it is set
// (GS ( E, in the user setting mode, which the query enters and leaves and never writes in),
// and how much it has worked (GS g 2). Nothing the printer does not answer is guessed.

// GS I 1 to 3 and 65 to 69.
struct PrinterIdentity {
    std::optional<std::uint8_t> modelId, typeId, romVersion;
    std::optional<std::string> firmware, maker, model, serial, characterRom;
};

// GS ( E function 6: one customized value, by its number (1 memory capacity, 2 paper width,
// 3 print density, 5 print speed, ... as the command reference numbers them).
struct CustomizedValue {
    int number = 0;
    std::optional<int> value;  // none: the printer did not answer it
};

// GS ( E functions 4 and 6.
struct PrinterSettings {
    // Memory switches 1 to 8, bit 1 first as the printer sends them ("00100000"); none where
    // the printer did not answer.
    std::array<std::optional<std::string>, 8> memorySwitches;
    std::vector<CustomizedValue> customized;
};

// GS g 2: one maintenance counter by its number (20, 21, 50, 70 resettable; 148, 149, 178,
// 198 cumulative).
struct CounterReading {
    int number = 0;
    std::optional<std::uint64_t> value;
};

struct PrinterInfo {
    PrinterIdentity identity;
    PrinterSettings settings;
    std::vector<CounterReading> counters;
    // Requests the printer left unanswered ("GS I 68", "GS ( E 4: switch 3", "GS g 2 148").
    std::vector<std::string> unanswered;
    // Bytes that answered nothing asked, as they came.
    std::string unrecognised;
    std::chrono::milliseconds waited{};
    bool hungUp = false;
    bool tooMuchData = false;
};

// The counters GS g 2 is asked for, in the order asked.
inline constexpr std::array<int, 8> counterNumbers = {20, 21, 50, 70, 148, 149, 178, 198};

// Asks the printer on `portName` for everything above, within the host's answer bounds, with
// the status query's rules (two-way port, input held, bytes that answer nothing passed over).
// None when the port is a plain file or a pipe, which cannot answer and is left unwritten.
// Throws PortError when the port fails.
std::optional<PrinterInfo> askPrinterInfo(JobHost& host, const std::string& portName);
// Only the counters, as a burn-in reads them before and after its rounds.
std::optional<std::vector<CounterReading>> askPrinterCounters(JobHost& host,
                                                              const std::string& portName);

// The readout box: identity, settings decoded where the command reference defines them and raw
// otherwise, counters, what went unanswered; in Chinese.
std::string infoBoxText(const PrinterInfo& info);
