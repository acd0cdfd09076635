#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device_commands.h"
#include "fake_host.h"
#include "pseudo_terminal.h"
#include "temp_files.h"
#include "printer_port.h"

namespace {

const std::string chooseAPort = "请选取打印机所连接的端口！";

TEST(DevicePath, DosNamesMapToDevicesAndEverythingElsePassesThrough) {
    const std::pair<std::string, std::string> cases[] = {
        {"COM1", "/dev/ttyS0"},   {"com2", "/dev/ttyS1"},   {"CoM10", "/dev/ttyS9"},
        {"LPT1", "/dev/lp0"},     {"lpt2", "/dev/lp1"},     {"COM1 ", "COM1 "},
        {" COM1", " COM1"},       {"COM0", "COM0"},         {"COM01", "COM01"},
        {"COM", "COM"},           {"COMX", "COMX"},         {"/dev/usb/lp0", "/dev/usb/lp0"},
        {"选择端口", "选择端口"}, {"LPT1.txt", "LPT1.txt"},
    };
    for (const auto& [name, path] : cases) EXPECT_EQ(devicePathFor(name), path) << name;
}

// The port check sees what the technician typed; only spaces are trimmed,
// and only for the check.
TEST(PortCheck, RefusesNoChoiceAndPassesAnythingElseUnchanged) {
    struct Case {
        std::string name;
        bool refused;
    };
    const Case cases[] = {
        {"", true},    {"   ", true},        {"选择端口", true}, {"  选择端口  ", true},
        {"\t", false}, {"选择端口1", false}, {" \t ", false},    {"/nowhere/x", false},
    };
    for (const Case& c : cases) {
        FakeHost host;
        host.port = c.name;
        EXPECT_EQ(PortCheck(host), !c.refused) << '"' << c.name << '"';
        if (c.refused) {
            ASSERT_EQ(host.boxes.size(), 1u);
            EXPECT_FALSE(host.boxes[0].critical);
            EXPECT_EQ(host.boxes[0].title, "提示！");
            EXPECT_EQ(host.boxes[0].text, chooseAPort);
        } else {
            EXPECT_TRUE(host.boxes.empty());
        }
    }
}

TEST(PortCheck, NameWithTabPassesTheCheckAndFailsAtOpen) {
    FakeHost host;
    host.port = " \t ";
    CutPaperJob(host);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(host.boxes[0].critical);
    EXPECT_EQ(host.boxes[0].title, "错误!");
    EXPECT_EQ(host.boxes[0].text, "出错提示:" + std::string(std::strerror(ENOENT)));
}

TEST(PortCheck, TrailingSpaceIsKeptWhenOpening) {
    TempDir dir;
    writeFile(dir.path("port "), "");
    writeFile(dir.path("port"), "");
    FakeHost host;
    host.port = dir.path("port ");
    CutPaperJob(host);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(readFile(dir.path("port ")), "\x1B\x69\x0A");
    EXPECT_EQ(readFile(dir.path("port")), "");
}

TEST(PrinterPort, RawOverwritesFromTheStartAndTextReplaces) {
    TempDir dir;
    const std::string file = dir.path("port.bin");
    writeFile(file, "0123456789");
    PrinterPort port;
    port.openRaw(file);
    port.write(std::string_view("AB"));
    port.close();
    EXPECT_EQ(readFile(file), "AB23456789");

    port.openText(file);
    port.writeLine(u8"中文");
    port.close();
    EXPECT_EQ(readFile(file), "\xD6\xD0\xCE\xC4\r\n");
}

TEST(PrinterPort, RawNeverCreatesAFileButTextDoes) {
    TempDir dir;
    const std::string file = dir.path("LPT9.txt");
    PrinterPort port;
    try {
        port.openRaw(file);
        FAIL() << "raw open created " << file;
    } catch (const PortError& failure) {
        EXPECT_EQ(std::string(failure.what()), std::strerror(ENOENT));
    }
    EXPECT_FALSE(fileExists(file));
    EXPECT_FALSE(port.isOpen());
    port.openText(file);
    port.close();
    EXPECT_TRUE(fileExists(file));
}

TEST(PrinterPort, SingleSlotIsBusyUntilItsOwnerReleasesIt) {
    TempDir dir;
    const std::string file = dir.path("port");
    writeFile(file, "");
    {
        PrinterPort first;
        first.openRaw(file);
        PrinterPort second;
        try {
            second.openRaw(file);
            FAIL() << "second connection opened";
        } catch (const PortError& failure) {
            EXPECT_EQ(std::string(failure.what()), std::strerror(EBUSY));
        }
        EXPECT_TRUE(first.isOpen());
        first.write(std::string_view("x"));
        // `first` goes out of scope open: its destructor frees the slot.
    }
    PrinterPort next;
    next.openText(file);
    next.close();
}

TEST(PrinterPort, ControlBytesReachATerminalUnchangedAndItsSettingsAreRestored) {
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.slaveOutputProcessing());
    PrinterPort port;
    port.openRaw(terminal.slavePath);
    port.write(std::string_view("\x1B\x70\x00\x80\x80\x0A", 6));
    port.close();
    port.openText(terminal.slavePath);
    port.writeLine(u8"\x0A");
    port.close();
    EXPECT_EQ(terminal.readAll(), std::string("\x1B\x70\x00\x80\x80\x0A\x0A\x0D\x0A", 9));
    EXPECT_TRUE(terminal.slaveOutputProcessing());
}

TEST(PrinterPort, UnencodableCharacterFailsTheWriteBeforeAnyByteGoesOut) {
    TempDir dir;
    const std::string file = dir.path("port");
    writeFile(file, "");
    PrinterPort port;
    port.openRaw(file);
    try {
        port.write(u8"打印😀");
        FAIL() << "emoji written";
    } catch (const PortError& failure) {
        EXPECT_NE(std::string(failure.what()).find("😀"), std::string::npos) << failure.what();
        EXPECT_NE(std::string(failure.what()).find("U+1F600"), std::string::npos);
    }
    port.close();
    EXPECT_EQ(readFile(file), "");
}

TEST(PrinterPort, StuckDeviceTimesOutAndFreesTheSlot) {
    // A pipe whose reader never reads stands for a printer that stopped
    // taking bytes: its buffer fills up and stays full.
    TempDir dir;
    const std::string fifo = dir.path("stuck");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::chrono::steady_clock::time_point failed;
    {
        PrinterPort port;
        port.openRaw(fifo);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(port.write(std::string(4 << 20, 'x')), PortError);
        failed = std::chrono::steady_clock::now();
        EXPECT_GE(failed - start, std::chrono::seconds(5));
        EXPECT_LT(failed - start, std::chrono::seconds(8));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - failed, std::chrono::seconds(1));
    PrinterPort next;
    next.openRaw(fifo);
    next.close();
    close(reader);
}

}  // namespace
