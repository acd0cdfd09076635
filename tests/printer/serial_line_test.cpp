#include <gtest/gtest.h>

#include <termios.h>

#include <cstring>

#include "device_commands.h"
#include "fake_host.h"
#include "port_name.h"
#include "printer_port.h"
#include "pseudo_terminal.h"
#include "receipt_streams.h"
#include "temp_files.h"

namespace {

bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetospeed(&a) == cfgetospeed(&b) &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

struct LineCase {
    const char* settings;
    speed_t speed;
    tcflag_t size;
    tcflag_t parity;  // PARENB, PARENB | PARODD or 0
    bool twoStopBits;
    bool xonXoff;
    bool rtsCts;
};

const LineCase lineCases[] = {
    {"9600,n,8,1", B9600, CS8, 0, false, false, false},
    {"115200", B115200, CS8, 0, false, false, false},
    {"19200,e,7,2,p", B19200, CS7, PARENB, true, false, true},
    {"4800,o,5,1,x", B4800, CS5, PARENB | PARODD, false, true, false},
};

void expectLine(const termios& line, const LineCase& c, bool framing) {
    EXPECT_EQ(cfgetospeed(&line), c.speed);
    EXPECT_EQ(cfgetispeed(&line), c.speed);
    if (framing) {
        EXPECT_EQ(line.c_cflag & CSIZE, c.size);
        EXPECT_EQ(line.c_cflag & (PARENB | PARODD), c.parity);
    }
    EXPECT_EQ((line.c_cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ((line.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.xonXoff);
    EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, c.rtsCts);
    EXPECT_TRUE(line.c_cflag & CLOCAL);
    EXPECT_FALSE(line.c_oflag & OPOST);
    EXPECT_FALSE(line.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
    EXPECT_FALSE(line.c_iflag & (ICRNL | INLCR | IGNCR));
}

TEST(SerialLine, EachSettingMapsToTheLinesFlags) {
    for (const LineCase& c : lineCases) {
        SCOPED_TRACE(c.settings);
        termios line{};
        // A line that starts out cooked, with every framing and flow flag set.
        line.c_iflag = ICRNL | IXON | IXOFF | IXANY;
        line.c_oflag = OPOST | ONLCR;
        line.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
        line.c_cflag = CS8 | PARENB | PARODD | CSTOPB | CRTSCTS;
        const auto settings =
            std::get<DevicePort>(resolvePortName(std::string("COM1:") + c.settings)).line;
        ASSERT_TRUE(settings);
        setSerialLine(line, *settings);
        expectLine(line, c, /*framing=*/true);
    }
}

// The settings named after the colon are in force while the receipt prints, and the line's own
// settings come back afterwards. (A pseudo-terminal always frames with 8 bits and no parity.)
TEST(SerialLine, NamedSettingsHoldForTheJobAndTheLineIsRestoredAfter) {
    const auto& cases = lineCases;
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.settings);
        PseudoTerminal terminal;
        const termios before = terminal.slaveSettings();
        FakeHost host;
        host.port = terminal.slavePath + ":" + c.settings;
        termios during{};
        host.duringPause = [&] { during = terminal.slaveSettings(); };
        const std::time_t started = std::time(nullptr);
        TestReceiptJob(host, TechnicianReceipt());
        EXPECT_TRUE(host.boxes.empty()) << host.boxes[0].text;

        expectLine(during, c, /*framing=*/false);

        EXPECT_TRUE(sameSettings(terminal.slaveSettings(), before));
        EXPECT_EQ(expectReceipt(terminal.readAll(), receiptStreams[0], started), "");
    }
}

// A speed the system cannot set, or a malformed field, stops the job before anything is opened.
TEST(SerialLine, ABadSettingWritesNothingAndLeavesTheLineAlone) {
    for (const char* settings : {"12345", "9600,n,9", "9600,n,8,1,q"}) {
        SCOPED_TRACE(settings);
        PseudoTerminal terminal;
        const termios before = terminal.slaveSettings();
        FakeHost host;
        host.port = terminal.slavePath + ":" + settings;
        DrawerPulseJob(host);
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_TRUE(host.boxes[0].critical);
        EXPECT_EQ(terminal.readAll(), "");
        EXPECT_TRUE(sameSettings(terminal.slaveSettings(), before));
    }
}

// A file or a network printer has no line to set; a file named so is neither written nor emptied,
// even by the text phase.
TEST(SerialLine, SettingsOnSomethingThatIsNotASerialPortFail) {
    TempDir dir;
    const std::string file = dir.path("capture");
    writeFile(file, "kept");
    FakeHost host;
    PrinterPort port(host);
    for (const bool text : {false, true}) {
        try {
            text ? port.openText(file + ":9600") : port.openRaw(file + ":9600");
            ADD_FAILURE() << "a file took line settings";
        } catch (const PortError& failure) {
            EXPECT_NE(std::string(failure.what()).find("not a serial port"), std::string::npos)
                << failure.what();
        }
        EXPECT_FALSE(port.isOpen());
    }
    EXPECT_EQ(readFile(file), "kept");
}

}  // namespace
