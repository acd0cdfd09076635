#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <termios.h>

#include "job_host.h"
#include "port_error.h"

struct DevicePort;
struct NetworkPort;
struct SerialSettings;

// Makes a terminal's input raw: every byte as received, no echo, no line editing.
void setRawInput(termios& settings);

// Puts a serial line into the state a job prints with: raw (no processing of output or input, no
// echo), modem-control lines ignored (a printer without carrier still prints), and exactly the
// speed, parity, data bits, stop bits and flow control named.
void setSerialLine(termios& settings, const SerialSettings& line);

// The one connection to the printer: a device, a file or a network printer, behind one
// descriptor. There is a single connection slot in the whole program: opening while it is taken
// fails as a busy device. The object owns its descriptor; destroying it while open closes the
// connection and discards whatever output had not been sent yet. Whenever it has to wait on the
// printer (a name to look up, a connection to make, a printer not taking bytes, output still on
// its way at close) it waits through the job's host, so the window stays live, and within the
// host's bounds: a wait that outlasts its bound fails the job.
class PrinterPort {
public:
    explicit PrinterPort(JobHost& host);
    ~PrinterPort();
    PrinterPort(const PrinterPort&) = delete;
    PrinterPort& operator=(const PrinterPort&) = delete;

    // Raw mode and text mode open alike: an existing device or file, for writing after what it
    // holds (a plain file gets every job appended, as a printer would receive the stream), never
    // created or truncated; or a new connection to a network printer. Text mode is for
    // writeLine.
    void openRaw(const std::string& portName);
    void openText(const std::string& portName);
    // Two-way, to ask the printer: a device opened for reading and writing (a serial line raw
    // both ways, with what it had received thrown away) or a network printer's connection.
    void openTwoWay(const std::string& portName);
    // False for a plain file or a pipe: nothing behind them answers.
    bool canAnswer() const { return canAnswer_; }

    // Puts bytes on the port exactly as given (control-code strings).
    void write(std::string_view bytes);
    // Puts printer text on the port, converted to GBK.
    void write(std::u8string_view text);
    // Puts printer text, converted to GBK, followed by CR LF.
    void writeLine(std::u8string_view text);

    // Waits through the host, at most `limit`, for the printer to send something, and appends
    // what it sent, at most `most` bytes, to `received`; nothing when it sent nothing in time.
    // Returns false once the printer has hung up.
    bool read(std::string& received, std::chrono::milliseconds limit, std::size_t most);
    // The port's status lines (paper out, selected, error) where the device gives them: a
    // parallel port or a USB printer.
    std::optional<int> portStatusLines() const;

    // Waits (bounded) until the printer has taken every byte (a network printer: acknowledged
    // it), restores the terminal settings found at open and frees the slot. Throws PortError on
    // failure, after the connection has been released.
    void close();

    bool isOpen() const { return fd_ >= 0; }

private:
    enum class Kind { File, Terminal, Socket };

    void open(const std::string& portName, bool twoWay);
    void openDevice(const DevicePort& device, const std::string& portName, bool twoWay);
    void connect(const NetworkPort& printer, const std::string& portName);
    void take(int fd, Kind kind);
    // Waits through the host until the descriptor may take more output.
    void waitForRoom(std::chrono::steady_clock::duration limit);
    // Bytes written that have not reached the printer yet.
    int outstandingBytes() const;
    // On a line with XON/XOFF flow control: takes the flow-control bytes the printer sent while
    // no job was looking, and before the job's first byte waits (bounded) for the XON of an
    // XOFF still in force.
    void takeFlowBytes();
    void holdWhileXoff();
    PortError stuck(std::chrono::milliseconds bound);
    // Closes and frees the slot whatever happens; returns close's error number.
    int release(bool discardOutput) noexcept;

    JobHost& host_;
    const PortLimits limits_;
    int fd_ = -1;
    Kind kind_ = Kind::File;
    bool canAnswer_ = false;
    bool restoreTerminal_ = false;
    termios savedTerminal_{};
    // XON/XOFF: the line's settings with output flow control, put in force at the first write,
    // once no XOFF holds.
    bool xonXoff_ = false, flowAwaited_ = false;
    termios flowSettings_{};
};
