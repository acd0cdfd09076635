#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <regex>

#include "device_commands.h"
#include "fake_host.h"
#include "pseudo_terminal.h"
#include "temp_files.h"
#include "gbk.h"
#include "printer_port.h"
#include "receipts.h"

namespace {

const std::string bannerModes = bytesFromHex("1B 40 1B 21 2D 1C 21 38 1C 21 2D");
const std::string bodyModes = bytesFromHex("1C 21 01 1B 21 01");
const std::string closingFeeds = bytesFromHex("0A 0D 0A 0A 0D 0A");

struct Variant {
    const char* name;
    ReceiptVariant (*make)();
    const char* bannerGbk;
    std::size_t bodyLines;
};

const Variant variants[] = {
    {"technician", TechnicianReceipt, "CF AA BA CC D4 C6 E1 B6 D0 C5 CF A2", 15},
    {"welcome", WelcomeReceipt, "BB B6 D3 AD CA B9 D3 C3", 17},
    {"brochure", BrochureReceipt, "CF AA BA CC D4 C6 E1 B6 D0 C5 CF A2", 29},
};

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

// Checks one whole receipt as it reached a terminal, returning the bytes
// that arrived between the banner phase and the text phase.
std::string expectReceipt(const std::string& arrived, const Variant& variant,
                          std::time_t startedAt) {
    const ReceiptVariant receipt = variant.make();
    const std::string banner = bannerModes + bytesFromHex(variant.bannerGbk) + "\x0A" + bodyModes;
    EXPECT_EQ(arrived.substr(0, banner.size()), banner);
    const std::size_t date = arrived.find("\xCA\xB1\xC6\xDA:");  // 时期:
    if (date == std::string::npos) {
        ADD_FAILURE() << "no date line";
        return {};
    }
    std::string text = arrived.substr(date);
    EXPECT_EQ(text.substr(text.size() - closingFeeds.size()), closingFeeds);
    text.erase(text.size() - closingFeeds.size());

    const std::vector<std::string> lines = crlfLines(text);
    EXPECT_EQ(lines.size(), 1 + variant.bodyLines);
    if (lines.empty()) return {};
    std::smatch stamp;
    const std::string dateLine = fromGbk(lines[0]);
    EXPECT_TRUE(std::regex_match(
        dateLine, stamp,
        std::regex("时期:(\\d{4})-(\\d{2})-(\\d{2}) 时间:(\\d{2}):(\\d{2}):(\\d{2})")))
        << dateLine;
    std::tm local{};
    localtime_r(&startedAt, &local);
    if (stamp.size() == 7) {
        EXPECT_EQ(std::stoi(stamp[1]), local.tm_year + 1900);
        EXPECT_EQ(std::stoi(stamp[2]), local.tm_mon + 1);
        const int printed =
            std::stoi(stamp[4]) * 3600 + std::stoi(stamp[5]) * 60 + std::stoi(stamp[6]);
        const int started = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
        EXPECT_GE((printed - started + 86400) % 86400, 0);
        EXPECT_LE((printed - started + 86400) % 86400, 5)
            << "time of day out of place: " << dateLine;
    }
    for (std::size_t i = 1; i < lines.size() && i <= receipt.body.size(); ++i) {
        EXPECT_EQ(fromGbk(lines[i]), asUtf8(receipt.body[i - 1])) << "body line " << i;
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

// Every built-in line must survive the GBK conversion; the brochure's blank
// lines are empty, so each prints as CR LF alone.
TEST(TestReceipts, EveryBuiltInLineConverts) {
    for (const Variant& variant : variants) {
        for (const std::u8string& line : variant.make().body) {
            EXPECT_NO_THROW(toGbk(line)) << variant.name << ": " << asUtf8(line);
        }
    }
    const ReceiptVariant brochure = BrochureReceipt();
    for (std::size_t blank : {9u, 15u, 21u, 24u}) EXPECT_TRUE(brochure.body[blank - 1].empty());
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
