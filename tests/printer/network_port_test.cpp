#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "device_commands.h"
#include "fake_host.h"
#include "loopback_printer.h"
#include "printer_port.h"
#include "receipt_streams.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(NetworkPort, EveryJobSendsItsExactBytesOverOneConnectionEach) {
    LoopbackPrinter printer;
    FakeHost host;
    host.port = "tcp://" + printer.address();
    CutPaperJob(host);
    host.port = printer.address();
    DrawerPulseJob(host);
    host.port = "IP_" + printer.address();
    BarcodeJob(host);
    EXPECT_TRUE(host.boxes.empty()) << host.boxes[0].text;
    EXPECT_EQ(
        printer.connections(3),
        (std::vector<std::string>{bytesFromHex("1B 69 0A"), bytesFromHex("1B 70 00 80 80 0A"),
                                  bytesFromHex("1D 68 32 0A 1D 6B 49 05 7B 42 31 32 33 0A")}));
}

// The banner phase and the text phase are two connections, as they are two opens of a device;
// the text phase's lines end in CR LF and nothing is truncated.
TEST(NetworkPort, AReceiptIsTwoConnectionsBannerFirst) {
    for (const ReceiptStream& receipt : receiptStreams) {
        SCOPED_TRACE(receipt.name);
        LoopbackPrinter printer;
        FakeHost host;
        host.port = printer.address();
        const std::time_t started = std::time(nullptr);
        TestReceiptJob(host, receipt.make());
        EXPECT_TRUE(host.boxes.empty());
        const std::vector<std::string> connections = printer.connections(2);
        ASSERT_EQ(connections.size(), 2u);
        EXPECT_EQ(connections[0], receipt.bannerPhase);
        expectTextPhase(connections[1], receipt, started);
    }
}

// A bare address and the home platform's IP_ name reach the printers' own port, 9100.
TEST(NetworkPort, BareAddressesUseThePrintersPort) {
    std::unique_ptr<LoopbackPrinter> printer;
    try {
        printer = std::make_unique<LoopbackPrinter>(LoopbackPrinter::Options{.port = 9100});
    } catch (const std::exception&) {
        GTEST_SKIP() << "127.0.0.1:9100 is in use here";
    }
    FakeHost host;
    for (const std::string name : {"127.0.0.1", "IP_127.0.0.1", "tcp://127.0.0.1"}) {
        host.port = name;
        CutPaperJob(host);
    }
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(printer->connections(3).size(), 3u);
}

TEST(NetworkPort, ARefusedConnectionNamesTheAddressAndFreesTheSlot) {
    FakeHost host;
    const std::string address = "127.0.0.1:" + std::to_string(refusingLoopbackPort());
    host.port = "IP_" + address;
    DrawerPulseJob(host);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text.rfind(
                  "出错提示:" + systemErrorText(ECONNREFUSED) + " (" + address + ")", 0),
              0u)
        << host.boxes[0].text;
    LoopbackPrinter printer;
    host.port = printer.address();
    host.boxes.clear();
    CutPaperJob(host);
    EXPECT_TRUE(host.boxes.empty());
}

// A listener whose queue of connections waiting to be accepted is full drops further attempts,
// as a printer that never answers does: the job waits through its host for at most the bound.
TEST(NetworkPort, AHostThatNeverAnswersFailsWithinTheBound) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        connect(queued.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    std::this_thread::sleep_for(100ms);

    FakeHost host;
    host.limits.connect = 500ms;
    const std::string shown = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    host.port = shown;
    const auto start = Clock::now();
    CutPaperJob(host);
    const auto took = Clock::now() - start;
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].text.find(systemErrorText(ETIMEDOUT) + " (" + shown + ")"),
              std::string::npos)
        << host.boxes[0].text;
    EXPECT_GE(took, host.limits.connect - 20ms);
    EXPECT_LT(took, host.limits.connect + 1s);
    EXPECT_GE(host.waitedOnDevice, host.limits.connect - 50ms) << "the job waited without its host";
    for (const int fd : queued) close(fd);
    close(listener);

    TempDir dir;
    host.port = dir.path("free");
    writeFile(host.port, "");
    host.boxes.clear();
    CutPaperJob(host);
    EXPECT_TRUE(host.boxes.empty());
}

// A printer switched off in the middle of a receipt resets its connection: the write fails with
// the system's text and the job ends in its box, without a signal ending the program.
TEST(NetworkPort, APrinterThatHangsUpMidWriteFailsTheWrite) {
    LoopbackPrinter printer({.hangUpAfter = 1000});
    FakeHost host;
    {
        PrinterPort port(host);
        port.openRaw(printer.address());
        try {
            port.write(std::string(16 << 20, 'x'));
            FAIL() << "16 MiB went to a printer that hung up";
        } catch (const PortError& failure) {
            EXPECT_TRUE(failure.what() == systemErrorText(ECONNRESET) ||
                        failure.what() == systemErrorText(EPIPE))
                << failure.what();
        }
    }
    EXPECT_EQ(printer.connections(1).at(0).size(), 1000u);
    PrinterPort next(host);
    next.openRaw(printer.address());
    next.close();
}

TEST(NetworkPort, ANameThatDoesNotResolveFailsWithTheNameTried) {
    FakeHost host;
    // Not a name any resolver can look up, so no query leaves this machine.
    host.port = "no..such..printer:9100";
    CutPaperJob(host);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].text.find("(no..such..printer:9100)"), std::string::npos)
        << host.boxes[0].text;
}

// Close returns once the printer has acknowledged every byte: held back by a receive window too
// small for the data, it waits until the printer reads, and never reports success for bytes
// that never arrive.
TEST(NetworkPort, CloseWaitsUntilThePrinterHasAcknowledgedEveryByte) {
    const std::string data(12 * 1024, 'x');
    for (const auto delay : {300ms, 1500ms}) {
        SCOPED_TRACE(delay.count());
        LoopbackPrinter printer({.readDelay = delay, .receiveBuffer = 1024});
        FakeHost host;
        host.limits.drain = 800ms;
        PrinterPort port(host);
        port.openRaw(printer.address());
        port.write(std::string_view(data));
        const auto closing = Clock::now();
        if (delay < host.limits.drain) {
            port.close();
            EXPECT_GE(Clock::now() - closing, delay - 300ms);
            EXPECT_EQ(printer.connections(1), std::vector<std::string>{data});
        } else {
            EXPECT_THROW(port.close(), PortError);
            EXPECT_FALSE(port.isOpen());
            EXPECT_LT(Clock::now() - closing, host.limits.drain + 500ms);
        }
    }
}

}  // namespace
