#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <ctime>
#include <map>
#include <regex>
#include <sstream>

#include "contact_data.h"
#include "device_commands.h"
#include "fake_host.h"
#include "gbk.h"
#include "printer_port.h"
#include "pseudo_terminal.h"
#include "receipts.h"
#include "temp_files.h"

namespace {

const std::string bannerModes = bytesFromHex("1B 40 1B 21 2D 1C 21 38 1C 21 2D");
const std::string bodyModes = bytesFromHex("1C 21 01 1B 21 01");
const std::string closingFeeds = bytesFromHex("0A 0D 0A 0A 0D 0A");

struct Variant {
    const char* name;
    ReceiptVariant (*make)();
    const char* bannerGbk;
};

const Variant variants[] = {
    {"technician", TechnicianReceipt, "CF AA BA CC D4 C6 E1 B6 D0 C5 CF A2"},
    {"welcome", WelcomeReceipt, "BB B6 D3 AD CA B9 D3 C3"},
    {"brochure", BrochureReceipt, "CF AA BA CC D4 C6 E1 B6 D0 C5 CF A2"},
};

// The deployer's values, as the expected streams name them.
const std::map<std::string, std::u8string_view> contactValues = {
    {"technicianMobile", contact::technicianMobile},
    {"technicianQq", contact::technicianQq},
    {"technicianWorkQq", contact::technicianWorkQq},
    {"technicianEmail", contact::technicianEmail},
    {"shopPhone", contact::shopPhone},
    {"shopSecondPhone", contact::shopSecondPhone},
    {"supportPhone", contact::supportPhone},
    {"fax", contact::fax},
    {"shopAddress", contact::shopAddress},
    {"businessPhone", contact::businessPhone},
    {"businessQq", contact::businessQq},
    {"businessEmail", contact::businessEmail},
    {"secondBusinessPhone", contact::secondBusinessPhone},
    {"secondBusinessQq", contact::secondBusinessQq},
    {"companySite", contact::companySite},
};

// One printed line of an expected text phase, without its CR LF: the bytes, -1 standing for any
// decimal digit, and the line as the data file spells it for people.
struct ExpectedLine {
    std::vector<int> bytes;
    std::string spelled;
};

// Reads tests/printer/data/<variant>_text_phase.hex: rows of hex bytes ending in 0D 0A, each
// after a comment row that spells it; "??" is any digit, "{name}" a contact value.
std::vector<ExpectedLine> expectedTextPhase(const std::string& variant) {
    std::istringstream rows(
        readFile(std::string(TEST_DATA_DIR) + "/" + variant + "_text_phase.hex"));
    std::vector<ExpectedLine> lines;
    std::string spelled;
    for (std::string row; std::getline(rows, row);) {
        if (row.rfind("# ", 0) == 0) {
            spelled = row.substr(2);
            continue;
        }
        ExpectedLine line{{}, spelled};
        std::istringstream tokens(row);
        for (std::string token; tokens >> token;) {
            if (token == "??") {
                line.bytes.push_back(-1);
            } else if (token.front() == '{') {
                const std::u8string_view value =
                    contactValues.at(token.substr(1, token.size() - 2));
                for (const char byte : toGbk(value))
                    line.bytes.push_back(static_cast<unsigned char>(byte));
            } else {
                line.bytes.push_back(std::stoi(token, nullptr, 16));
            }
        }
        EXPECT_GE(line.bytes.size(), 2u);
        EXPECT_EQ(line.bytes.back(), 0x0A) << spelled;
        EXPECT_EQ(line.bytes[line.bytes.size() - 2], 0x0D) << spelled;
        line.bytes.resize(line.bytes.size() - 2);
        lines.push_back(line);
    }
    return lines;
}

bool matches(const std::string& arrived, const std::vector<int>& expected) {
    if (arrived.size() != expected.size()) return false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto byte = static_cast<unsigned char>(arrived[i]);
        if (expected[i] < 0 ? !std::isdigit(byte) : byte != expected[i]) return false;
    }
    return true;
}

// Splits a text phase into its lines, each of which must end in CR LF.
std::vector<std::string> crlfLines(std::string text) {
    std::vector<std::string> lines;
    for (std::size_t end; (end = text.find("\r\n")) != std::string::npos;) {
        lines.push_back(text.substr(0, end));
        text.erase(0, end + 2);
    }
    EXPECT_EQ(text, "") << "text after the last CR LF";
    return lines;
}

// Checks one whole receipt as it reached a terminal against the banner and the expected text
// phase, returning the bytes that arrived between the two phases.
std::string expectReceipt(const std::string& arrived, const Variant& variant,
                          std::time_t startedAt) {
    const std::string banner = bannerModes + bytesFromHex(variant.bannerGbk) + "\x0A" + bodyModes;
    EXPECT_EQ(arrived.substr(0, banner.size()), banner);
    const std::size_t date = arrived.find("\xCA\xB1\xC6\xDA:");  // 时期:
    if (date == std::string::npos) {
        ADD_FAILURE() << "no date line";
        return {};
    }
    EXPECT_EQ(arrived.substr(arrived.size() - closingFeeds.size()), closingFeeds);

    const std::vector<std::string> lines = crlfLines(arrived.substr(date));
    const std::vector<ExpectedLine> expected = expectedTextPhase(variant.name);
    EXPECT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size() && i < expected.size(); ++i) {
        EXPECT_TRUE(matches(lines[i], expected[i].bytes))
            << "line " << i << " should read \"" << expected[i].spelled << "\", arrived as \""
            << fromGbk(lines[i]) << '"';
    }

    // The date line's digits: today's date and a time of day just after the start.
    std::smatch stamp;
    const std::string dateLine = lines.empty() ? std::string() : fromGbk(lines[0]);
    const std::regex pattern("时期:(\\d{4})-(\\d{2})-(\\d{2}) 时间:(\\d{2}):(\\d{2}):(\\d{2})");
    if (std::regex_match(dateLine, stamp, pattern)) {
        std::tm local{};
        localtime_r(&startedAt, &local);
        EXPECT_EQ(std::stoi(stamp[1]), local.tm_year + 1900);
        EXPECT_EQ(std::stoi(stamp[2]), local.tm_mon + 1);
        const int printed =
            std::stoi(stamp[4]) * 3600 + std::stoi(stamp[5]) * 60 + std::stoi(stamp[6]);
        const int started = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        EXPECT_LE((printed - started + 86400) % 86400, 5)
            << "time of day out of place: " << dateLine;
    }
    return arrived.substr(banner.size(), date - banner.size());
}

TEST(TestReceipts, EachLayoutReachesATerminalByteForByte) {
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        PseudoTerminal terminal;
        FakeHost host;
        host.port = terminal.slavePath;
        const std::time_t started = std::time(nullptr);
        TestReceiptJob(host, variant.make());
        EXPECT_TRUE(host.boxes.empty());
        EXPECT_EQ(expectReceipt(terminal.readAll(), variant, started), "");
    }
}

TEST(TestReceipts, WithAPlainFileOnlyTheTextPhaseRemains) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("receipt.txt");
    writeFile(host.port, std::string(4096, '#'));
    TestReceiptJob(host, WelcomeReceipt());
    EXPECT_TRUE(host.boxes.empty());
    const std::string file = readFile(host.port);
    EXPECT_EQ(file.rfind("\xCA\xB1\xC6\xDA:", 0), 0u);
    EXPECT_EQ(file.substr(file.size() - closingFeeds.size()), closingFeeds);
    EXPECT_EQ(file.find('#'), std::string::npos);
}

TEST(SettleDelay, WaitsAtLeastThreeTenthsOfASecondWithoutSpinning) {
    FakeHost host;
    const auto start = std::chrono::steady_clock::now();
    SettleDelay(host);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::milliseconds(400));
    EXPECT_LE(host.pumps, 3);
}

// A click handled inside the banner pause meets a taken slot; the receipt
// goes on untouched.
TEST(TestReceipts, AJobStartedDuringTheBannerPauseIsRefusedAndTheReceiptCompletes) {
    PseudoTerminal terminal;
    FakeHost host;
    host.port = terminal.slavePath;
    host.duringPause = [&] {
        CutPaperJob(host);
        BarcodeJob(host);
    };
    const std::time_t started = std::time(nullptr);
    TestReceiptJob(host, TechnicianReceipt());
    ASSERT_EQ(host.boxes.size(), 2u);
    for (const auto& box : host.boxes) {
        EXPECT_EQ(box.text, "出错提示:" + systemErrorText(EBUSY));
    }
    EXPECT_EQ(expectReceipt(terminal.readAll(), variants[0], started), "");
}

// Between the banner connection's close and the text phase the slot is
// free, so a job clicked there prints between the two phases.
TEST(TestReceipts, AJobStartedBetweenThePhasesPrintsBetweenThem) {
    PseudoTerminal terminal;
    FakeHost host;
    host.port = terminal.slavePath;
    int plainPumps = 0;
    host.atPlainPump = [&] {
        if (++plainPumps == 2) DrawerPulseJob(host);
    };
    const std::time_t started = std::time(nullptr);
    TestReceiptJob(host, WelcomeReceipt());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(expectReceipt(terminal.readAll(), variants[1], started),
              bytesFromHex("1B 70 00 80 80 0A"));
}

// The text phase reads the selector again. A name edited meanwhile stops the receipt before it
// opens anything: no half-typed name becomes a file, no other file is emptied, and the body never
// goes to another device than the banner. The slot is free afterwards.
TEST(TestReceipts, APortChangedDuringThePausesStopsTheReceiptAndOpensNothing) {
    TempDir dir;
    writeFile(dir.path("other"), "keep");
    for (const std::string& edited : {dir.path("half-typ"), dir.path("other")}) {
        for (const bool beforeBannerCloses : {true, false}) {
            SCOPED_TRACE(edited + (beforeBannerCloses ? ", banner pause" : ", after the banner"));
            PseudoTerminal terminal;
            FakeHost host;
            host.port = terminal.slavePath;
            int plainPumps = 0;
            if (beforeBannerCloses) {
                host.duringPause = [&] { host.port = edited; };
            } else {
                // The second plain pump is the one right before the text phase.
                host.atPlainPump = [&] {
                    if (++plainPumps == 2) host.port = edited;
                };
            }
            TestReceiptJob(host, BrochureReceipt());
            ASSERT_EQ(host.boxes.size(), 1u);
            EXPECT_TRUE(host.boxes[0].critical);
            EXPECT_NE(host.boxes[0].text.find("The port was changed during printing"),
                      std::string::npos)
                << host.boxes[0].text;
            EXPECT_NE(host.boxes[0].text.find(edited), std::string::npos);
            EXPECT_FALSE(fileExists(dir.path("half-typ")));
            EXPECT_EQ(readFile(dir.path("other")), "keep");
            // The banner phase had printed; the text phase never started.
            EXPECT_EQ(terminal.readAll(),
                      bannerModes + bytesFromHex(variants[2].bannerGbk) + "\x0A" + bodyModes);

            host.port = terminal.slavePath;
            host.boxes.clear();
            CutPaperJob(host);
            EXPECT_TRUE(host.boxes.empty());
            EXPECT_EQ(terminal.readAll(), "\x1B\x69\x0A");
        }
    }
}

TEST(TestReceipts, UnencodableLineStopsTheReceiptAtThatLine) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("port");
    writeFile(host.port, "");
    const ReceiptVariant broken{u8"欢迎使用", {u8"第一行", u8"表情😀", u8"不会打印"}};
    TestReceiptJob(host, broken);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].text.find("U+1F600"), std::string::npos);
    const std::string file = readFile(host.port);
    EXPECT_NE(file.find("\xB5\xDA\xD2\xBB\xD0\xD0\r\n"), std::string::npos);  // 第一行
    EXPECT_EQ(file.substr(file.size() - 2), "\r\n") << "a partial line was written";
    PrinterPort port;
    port.openRaw(host.port);
    port.close();
}

}  // namespace
