#include "printer_port.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fcntl.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "gbk.h"
#include "job_host.h"

namespace {

using Clock = std::chrono::steady_clock;

// The program's single connection slot.
bool slotTaken = false;

std::string stuckDeviceText() {
    const std::string seconds = std::to_string(stuckDeviceLimit.count());
    return ownDescription("The printer accepted no data for " + seconds +
                              " seconds (offline, out of paper or flow control held)",
                          "打印机" + seconds + "秒内未接收数据(脱机、缺纸或流控阻塞)");
}

// "COM3" -> 3, for the whole name only; 0 when the name is not `prefix` and
// a number from 1 without leading zeros.
unsigned dosDeviceNumber(const std::string& name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 3) return 0;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != prefix[i]) return 0;
    }
    unsigned number = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return name[prefix.size()] == '0' ? 0 : number;
}

// Bytes the terminal still holds for sending, or 0 when it cannot tell.
int pendingTerminalOutput(int fd) {
    int pending = 0;
    return ioctl(fd, TIOCOUTQ, &pending) == 0 ? pending : 0;
}

// Waits until the descriptor may accept output again, at most `limit`.
void waitForRoomToWrite(int fd, Clock::duration limit) {
    pollfd writable{fd, POLLOUT, 0};
    const auto before = Clock::now();
    const int ms =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(limit).count() + 1);
    poll(&writable, 1, ms);
    // Some printer drivers have no poll support and report "ready" at once;
    // pause briefly so that retrying them does not spin the processor.
    if (Clock::now() - before < std::chrono::milliseconds(1)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

std::string devicePathFor(const std::string& portName) {
    if (const unsigned n = dosDeviceNumber(portName, "COM"))
        return "/dev/ttyS" + std::to_string(n - 1);
    if (const unsigned n = dosDeviceNumber(portName, "LPT"))
        return "/dev/lp" + std::to_string(n - 1);
    return portName;
}

PrinterPort::~PrinterPort() {
    if (isOpen()) release(/*discardOutput=*/true);
}

void PrinterPort::openRaw(const std::string& portName) {
    open(portName, O_WRONLY);
}

void PrinterPort::openText(const std::string& portName) {
    open(portName, O_WRONLY | O_CREAT | O_TRUNC);
}

void PrinterPort::open(const std::string& portName, int flags) {
    if (slotTaken) throw PortError(systemErrorText(EBUSY));
    // Non-blocking, so that neither opening (a serial line without carrier)
    // nor writing (a stuck printer) can hold the window; no controlling
    // terminal, since a printer is not one.
    const int fd =
        ::open(devicePathFor(portName).c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) throw PortError(systemErrorText(errno));
    fd_ = fd;
    slotTaken = true;

    if (isatty(fd_) && tcgetattr(fd_, &savedTerminal_) == 0) {
        // The terminal layer would turn each line feed into CR LF; the printer
        // must receive every byte as sent. Speed and flow control stay as the
        // system has them configured.
        termios raw = savedTerminal_;
        raw.c_oflag &= ~OPOST;
        if (tcsetattr(fd_, TCSANOW, &raw) != 0) {
            const int error = errno;
            release(true);
            throw PortError(systemErrorText(error));
        }
        restoreTerminal_ = true;
    }
}

void PrinterPort::write(std::string_view bytes) {
    auto lastProgress = Clock::now();
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            lastProgress = Clock::now();
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) throw PortError(systemErrorText(errno));
        const auto waited = Clock::now() - lastProgress;
        if (waited >= stuckDeviceLimit) throw PortError(stuckDeviceText());
        waitForRoomToWrite(fd_, stuckDeviceLimit - waited);
    }
}

void PrinterPort::write(std::u8string_view text) {
    write(std::string_view(toGbk(text)));
}

void PrinterPort::writeLine(std::u8string_view text) {
    write(std::string_view(toGbk(text) + "\r\n"));
}

void PrinterPort::close() {
    if (!isOpen()) return;
    if (restoreTerminal_) {
        // Closing a terminal waits for its unsent output without a bound;
        // wait here instead, for as long as the device keeps taking bytes.
        auto lastProgress = Clock::now();
        for (int pending = pendingTerminalOutput(fd_); pending > 0;) {
            if (Clock::now() - lastProgress >= stuckDeviceLimit) {
                release(/*discardOutput=*/true);
                throw PortError(stuckDeviceText());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const int now = pendingTerminalOutput(fd_);
            if (now < pending) lastProgress = Clock::now();
            pending = now;
        }
    }
    if (const int error = release(/*discardOutput=*/false); error != 0 && error != EINTR) {
        throw PortError(systemErrorText(error));
    }
}

int PrinterPort::release(bool discardOutput) noexcept {
    if (restoreTerminal_) {
        if (discardOutput) tcflush(fd_, TCOFLUSH);
        tcsetattr(fd_, TCSANOW, &savedTerminal_);
        restoreTerminal_ = false;
    }
    const int closed = ::close(fd_);
    const int error = closed == 0 ? 0 : errno;
    fd_ = -1;
    slotTaken = false;
    return error;
}

bool PortCheck(JobHost& host) {
    // Only spaces are trimmed for the comparison; the name itself is later
    // used exactly as typed.
    const std::string name = host.portName();
    const auto first = name.find_first_not_of(' ');
    const std::string trimmed = first == std::string::npos
                                    ? std::string()
                                    : name.substr(first, name.find_last_not_of(' ') - first + 1);
    if (trimmed.empty() || trimmed == portPlaceholder) {
        host.showInformation(noticeTitle, "请选取打印机所连接的端口！");
        return false;
    }
    return true;
}

void ErrorReport(JobHost& host, std::string_view description) {
    host.showCritical(failureTitle, "出错提示:" + std::string(description));
}
