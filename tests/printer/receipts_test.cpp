#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "device_commands.h"
#include "fake_host.h"
#include "printer_port.h"
#include "pseudo_terminal.h"
#include "receipt_streams.h"
#include "receipts.h"
#include "temp_files.h"

namespace {

TEST(TestReceipts, EachLayoutReachesATerminalByteForByte) {
    for (const ReceiptStream& variant : receiptStreams) {
        SCOPED_TRACE(variant.name);
        PseudoTerminal terminal;
        FakeHost host;
        host.port = terminal.slavePath;
        const std::time_t started = std::time(nullptr);
        EXPECT_TRUE(TestReceiptJob(host, variant.make()));
        EXPECT_TRUE(host.boxes.empty());
        EXPECT_EQ(expectReceipt(terminal.readAll(), variant, started), "");
    }
}

// A plain file as port holds the stream as the printer would receive it: each receipt follows
// what the file held, banner and text alike.
TEST(TestReceipts, APlainFileGetsEachReceiptAppendedWhole) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("receipt.bin");
    const std::string before(4096, '#');
    writeFile(host.port, before);
    const std::time_t started = std::time(nullptr);
    TestReceiptJob(host, WelcomeReceipt());
    TestReceiptJob(host, WelcomeReceipt());
    EXPECT_TRUE(host.boxes.empty());
    const std::string file = readFile(host.port);
    ASSERT_EQ(file.rfind(before, 0), 0u);
    const std::string receipts = file.substr(before.size());
    ASSERT_EQ(receipts.size() % 2, 0u);
    for (const std::string& receipt :
         {receipts.substr(0, receipts.size() / 2), receipts.substr(receipts.size() / 2)}) {
        EXPECT_EQ(expectReceipt(receipt, receiptStreams[1], started), "");
    }
}

// The banner proved the port was there; a port gone by the text part (a printer unplugged in
// the pause) fails the receipt, and nothing is created in its place.
TEST(TestReceipts, APortGoneBeforeTheTextPartIsNeverCreated) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("lp0");
    writeFile(host.port, "");
    // The first waiting pump is the banner's pause, the next the pause after the banner closed.
    host.duringPause = [&] { host.duringPause = [&] { std::remove(host.port.c_str()); }; };
    EXPECT_FALSE(TestReceiptJob(host, TechnicianReceipt()));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "出错提示:" + systemErrorText(ENOENT));
    EXPECT_FALSE(fileExists(host.port));
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
    EXPECT_EQ(expectReceipt(terminal.readAll(), receiptStreams[0], started), "");
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
    EXPECT_EQ(expectReceipt(terminal.readAll(), receiptStreams[1], started),
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
            EXPECT_EQ(terminal.readAll(), receiptStreams[2].bannerPhase);

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
    PrinterPort port(host);
    port.openRaw(host.port);
    port.close();
}

}  // namespace
