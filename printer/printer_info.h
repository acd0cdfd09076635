#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "answer_query.h"
#include "status_answers.h"

class JobHost;

// What a printer says about itself when asked, read only: who it is (GS I), how it is set
// (GS ( E, in the user setting mode, which the query enters and leaves and never writes in),
// and how much it has worked (GS g 2). Nothing the printer does not answer is guessed.

// GS I 1 to 3 and 65 to 69.
struct PrinterIdentity {
    std::optional<std::uint8_t> modelId, typeId, romVersion;
    std::optional<std::string> firmware, maker, model, serial, characterRom;
};

// GS ( E function 6: one customized value, by its number (1 NV user memory capacity, 2 NV
// graphics memory capacity, 3 paper width, 5 print density, 6 print speed, as the command
// reference numbers them).
struct CustomizedValue {
    int number = 0;
    std::optional<int> value;  // none: the printer did not answer it
};

// GS ( E functions 4 and 6.
struct PrinterSettings {
    // Memory switches 1 to 8, bit 8 first as the printer sends them ("00100000": bit 6 on);
    // none where the printer did not answer.
    std::array<std::optional<std::string>, 8> memorySwitches;
    std::vector<CustomizedValue> customized;
};

// GS g 2: one maintenance counter by its number (20, 21, 50, 70 resettable; 148, 149, 178,
// 198 cumulative).
struct CounterReading {
    int number = 0;
    std::optional<std::uint64_t> value;
};

// What went unanswered, the bytes that answered nothing asked, how long the query waited and
// whether the printer hung up or sent too much are its QueryTrace's (`unanswered`,
// `unrecognised`, `waited`, `hungUp`, `tooMuchData`, `uncertain`, `notAskedUncertain`).
struct PrinterInfo : QueryTrace {
    // DLE EOT 1, asked first: a printer that does not answer it answers nothing else, and an
    // offline one would answer the rest only once back online, so it is not asked them.
    bool answered = false;
    bool offline = false;
    std::optional<std::uint8_t> printerStatus;  // its answer
    PrinterIdentity identity;
    // GS ( E function 1 was answered: the printer is in its user setting mode until function 2.
    bool settingModeEntered = false;
    PrinterSettings settings;
    std::vector<CounterReading> counters;
    // Requests not asked because the first of their group went unanswered ("GS g 2 21"), or
    // because the user setting mode was not entered ("GS ( E 4: switch 1").
    std::vector<std::string> notAsked;
};

// The counters GS g 2 is asked for, in the order asked.
inline constexpr std::array<int, 8> counterNumbers = {20, 21, 50, 70, 148, 149, 178, 198};
// The customized values GS ( E function 6 is asked for, in the order asked.
inline constexpr std::array<int, 5> customizedNumbers = {1, 2, 3, 5, 6};

// The title of the readout box.
inline constexpr const char* infoTitle = "打印机信息";

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

// The readout's pieces, in the box's words.
// What the bits of memory switch `number` (1 to 8), as sent (bit 8 first), mean on a TM-style
// printer, a line each; bits the reference leaves reserved or model-dependent are not named.
std::vector<std::string> memorySwitchMeanings(int number, std::string_view bits);
// A customized value in its units ("80 mm", "115%"), or the raw number where the reference
// gives it none.
std::string customizedValueText(int number, int value);
// A counter's name and unit ("走纸行数(可清零)", "行").
std::string counterText(int number, std::uint64_t value);

// The character ROMs the charset page tells apart.
enum class CharacterRom : std::uint8_t { Gb2312, Gbk, Gb18030 };
// The ROM a GS I 69 name denotes ("CHINA GB18030"), if it names one of them.
std::optional<CharacterRom> romNamed(std::string_view name);
// Which rows of the charset page a printer with this ROM prints and which it marks as missing.
std::string charsetPageText(CharacterRom rom);
// What the window says when the technician's verdict on the charset page ("正常", "异常")
// contradicts the ROM the printer named; none when it does not, or nothing was read.
std::optional<std::string> charsetVerdictConflict(const PrinterInfo& info,
                                                  std::string_view verdict);

// The 读取 job: the port check, the readout on the port the host's selector names, and its box
// (with the conflict with `charsetVerdict`, if any). `kept` gets the readout when there was one.
// Reports its own failures; tells whether the readout could be made.
bool PrinterInfoJob(JobHost& host, std::string_view charsetVerdict,
                    std::optional<PrinterInfo>& kept);
