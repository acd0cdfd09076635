#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "device_commands.h"
#include "fake_host.h"
#include "printer_port.h"
#include "pseudo_terminal.h"
#include "temp_files.h"

namespace {

// A plain file holds what every connection wrote, in order, whichever the mode; a port that is
// not there is never created, so a mistyped name or an unplugged printer prints nowhere.
TEST(PrinterPort, BothModesAppendToAPlainFileAndNeitherCreatesOne) {
    FakeHost host;
    TempDir dir;
    const std::string file = dir.path("port.bin");
    writeFile(file, "0123456789");
    PrinterPort port(host);
    port.openRaw(file);
    port.write(std::string_view("AB"));
    port.close();
    port.openText(file);
    port.writeLine(u8"中文");
    port.close();
    EXPECT_EQ(readFile(file), "0123456789AB\xD6\xD0\xCE\xC4\r\n");

    const std::string missing = dir.path("LPT9.txt");
    for (auto open : {&PrinterPort::openRaw, &PrinterPort::openText}) {
        try {
            (port.*open)(missing);
            FAIL() << "opened, so created, " << missing;
        } catch (const PortError& failure) {
            EXPECT_EQ(std::string(failure.what()), std::strerror(ENOENT));
        }
        EXPECT_FALSE(fileExists(missing));
        EXPECT_FALSE(port.isOpen());
    }
}

TEST(PrinterPort, SingleSlotIsBusyUntilItsOwnerReleasesIt) {
    FakeHost host;
    TempDir dir;
    const std::string file = dir.path("port");
    writeFile(file, "");
    {
        PrinterPort first(host);
        first.openRaw(file);
        PrinterPort second(host);
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
    PrinterPort next(host);
    next.openText(file);
    next.close();
}

TEST(PrinterPort, ControlBytesReachATerminalUnchangedAndItsSettingsAreRestored) {
    FakeHost host;
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.slaveOutputProcessing());
    PrinterPort port(host);
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
    FakeHost host;
    TempDir dir;
    const std::string file = dir.path("port");
    writeFile(file, "");
    PrinterPort port(host);
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
    FakeHost host;
    host.limits.stall = std::chrono::milliseconds(500);
    // A pipe whose reader never reads stands for a printer that stopped
    // taking bytes: its buffer fills up and stays full.
    TempDir dir;
    const std::string fifo = dir.path("stuck");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::chrono::steady_clock::time_point failed;
    {
        PrinterPort port(host);
        port.openRaw(fifo);
        const auto start = std::chrono::steady_clock::now();
        try {
            port.write(std::string(4 << 20, 'x'));
            FAIL() << "a stuck device took 4 MiB";
        } catch (const PortError& failure) {
            EXPECT_NE(std::string(failure.what()).find("0.5 seconds"), std::string::npos)
                << failure.what();
        }
        failed = std::chrono::steady_clock::now();
        EXPECT_GE(failed - start, host.limits.stall);
        EXPECT_LT(failed - start, host.limits.stall + std::chrono::seconds(1));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - failed, std::chrono::seconds(1));
    PrinterPort next(host);
    next.openRaw(fifo);
    next.close();
    close(reader);
}

}  // namespace

// XOFF from the printer holds every job's bytes until its XON: the job that failed on it and the
// jobs after it alike, though the line's own settings, restored between jobs, have no flow
// control.
TEST(PrinterPort, XoffHeldByThePrinterHoldsEveryJobFromItsFirstByte) {
    using namespace std::chrono_literals;
    FakeHost host;
    host.limits.stall = 200ms;
    PseudoTerminal terminal;
    termios own = terminal.slaveSettings();
    cfmakeraw(&own);
    terminal.setSlaveSettings(own);
    const std::string port = terminal.slavePath + ":9600,n,8,1,x";
    for (const char* job : {"first", "second"}) {
        SCOPED_TRACE(job);
        PrinterPort printer(host);
        printer.openRaw(port);
        if (job == std::string("first")) {
            printer.write(std::string_view("go"));
            EXPECT_EQ(terminal.readAll(), "go");
            terminal.send("\x13");
            std::this_thread::sleep_for(20ms);
        }
        EXPECT_THROW(printer.write(std::string_view(job)), PortError);
        EXPECT_EQ(terminal.readAll(), "");
    }
    terminal.send("\x11");
    PrinterPort printer(host);
    printer.openRaw(port);
    printer.write(std::string_view("third"));
    printer.close();
    EXPECT_EQ(terminal.readAll(), "third");
}
