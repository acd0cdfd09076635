#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include <termios.h>

#include "port_error.h"

class JobHost;

// The port selector's placeholder entry: no port chosen yet.
inline constexpr std::string_view portPlaceholder = "选择端口";
// The titles of the information and failure boxes.
inline constexpr std::string_view noticeTitle = "提示！";
inline constexpr std::string_view failureTitle = "错误!";

// A device that accepts no byte for this long is taken as stuck (offline, out
// of paper, flow control held) and the job fails instead of waiting on.
inline constexpr std::chrono::seconds stuckDeviceLimit{5};

// The device path a port name denotes: the DOS names COM1.. and LPT1..
// (whole name, any letter case) map to the serial and parallel devices;
// anything else is used as a path, unchanged.
std::string devicePathFor(const std::string& portName);

// The one connection to the printer. There is a single connection slot in
// the whole program: opening while it is taken fails as a busy device. The
// object owns its descriptor; destroying it while open closes the connection
// and discards whatever output had not been sent yet.
class PrinterPort {
public:
    PrinterPort() = default;
    ~PrinterPort();
    PrinterPort(const PrinterPort&) = delete;
    PrinterPort& operator=(const PrinterPort&) = delete;

    // Raw mode: an existing device or file, opened for writing from its
    // first byte, never created or truncated.
    void openRaw(const std::string& portName);
    // Text mode: a plain file is truncated, or created when missing.
    void openText(const std::string& portName);

    // Puts bytes on the port exactly as given (control-code strings).
    void write(std::string_view bytes);
    // Puts printer text on the port, converted to GBK.
    void write(std::u8string_view text);
    // Puts printer text, converted to GBK, followed by CR LF.
    void writeLine(std::u8string_view text);

    // Waits (bounded) for unsent output, restores the terminal settings
    // found at open and frees the slot. Throws PortError on failure, after
    // the connection has been released.
    void close();

    bool isOpen() const { return fd_ >= 0; }

private:
    void open(const std::string& portName, int flags);
    // Closes and frees the slot whatever happens; returns close's error number.
    int release(bool discardOutput) noexcept;

    int fd_ = -1;
    bool restoreTerminal_ = false;
    termios savedTerminal_{};
};

// Refuses a job when no port has been chosen: shows the information box and
// returns false. Returns true when the job may go on.
bool PortCheck(JobHost& host);

// Shows the failure box with the given description.
void ErrorReport(JobHost& host, std::string_view description);
