#include <gtest/gtest.h>

#include "device_commands.h"
#include "fake_host.h"
#include "job_steps.h"
#include "printer_port.h"
#include "pseudo_terminal.h"
#include "temp_files.h"

namespace {

struct OneShot {
    const char* name;
    bool (*job)(JobHost&);
    const char* stream;
};

const OneShot oneShots[] = {
    {"cut", CutPaperJob, "1B 69 0A"},
    {"drawer", DrawerPulseJob, "1B 70 00 80 80 0A"},
    {"barcode", BarcodeJob, "1D 68 32 0A 1D 6B 49 05 7B 42 31 32 33 0A"},
};

TEST(OneShotJobs, WriteExactlyTheirStreamToAFileAndToATerminal) {
    for (const OneShot& oneShot : oneShots) {
        SCOPED_TRACE(oneShot.name);
        const std::string expected = bytesFromHex(oneShot.stream);

        TempDir dir;
        FakeHost fileHost;
        fileHost.port = dir.path("port");
        writeFile(fileHost.port, "");
        EXPECT_TRUE(oneShot.job(fileHost));
        EXPECT_TRUE(fileHost.boxes.empty());
        EXPECT_EQ(readFile(fileHost.port), expected);

        // Twice in a row through a terminal: the stream twice, nothing more,
        // and every 0A and 80 unchanged by the terminal layer.
        PseudoTerminal terminal;
        FakeHost terminalHost;
        terminalHost.port = terminal.slavePath;
        oneShot.job(terminalHost);
        oneShot.job(terminalHost);
        EXPECT_TRUE(terminalHost.boxes.empty());
        EXPECT_EQ(terminal.readAll(), expected + expected);
        EXPECT_TRUE(terminal.slaveOutputProcessing());
    }
}

// No port chosen: every job shows the same notice, and nothing is opened or created.
TEST(OneShotJobs, StopAtAnEmptyOrPlaceholderPortWithTheNotice) {
    for (const OneShot& oneShot : oneShots) {
        for (const std::string& name : {std::string(portPlaceholder), std::string("  ")}) {
            SCOPED_TRACE(std::string(oneShot.name) + " '" + name + "'");
            FakeHost host;
            host.port = name;
            EXPECT_FALSE(oneShot.job(host));
            ASSERT_EQ(host.boxes.size(), 1u);
            EXPECT_FALSE(host.boxes[0].critical);
            EXPECT_EQ(host.boxes[0].text, "请选取打印机所连接的端口！");
            EXPECT_EQ(host.pumps, 0);
            EXPECT_FALSE(fileExists(host.port));
        }
    }
}

// The barcode job reports a port that cannot be opened in the failure box, and frees the slot.
TEST(OneShotJobs, BarcodeReportsAFailedOpenAndLeavesTheSlotFree) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("missing");
    EXPECT_FALSE(BarcodeJob(host));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].critical);
    EXPECT_EQ(host.boxes[0].text, "出错提示:" + systemErrorText(ENOENT));
    host.port = dir.path("port");
    writeFile(host.port, "");
    BarcodeJob(host);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(readFile(host.port), bytesFromHex(oneShots[2].stream));
}

// A job clicked while another job holds the port is refused as busy and
// leaves the other job's connection alone.
TEST(OneShotJobs, AJobStartedWhileThePortIsHeldIsRefused) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("port");
    writeFile(host.port, "");
    PrinterPort held(host);
    held.openRaw(host.port);
    for (const OneShot& oneShot : oneShots) oneShot.job(host);
    ASSERT_EQ(host.boxes.size(), 3u);
    for (const auto& box : host.boxes) {
        EXPECT_EQ(box.text, "出错提示:" + systemErrorText(EBUSY));
    }
    EXPECT_TRUE(held.isOpen());
    held.write(std::string_view("ok"));
    held.close();
    EXPECT_EQ(readFile(host.port), "ok");
}

}  // namespace
