#include "printer_port.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <set>
#include <thread>

#include "error_hint.h"
#include "gbk.h"
#include "job_host.h"
#include "port_name.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The program's single connection slot.
bool slotTaken = false;
// Lines whose printer held XOFF when their last job ended. The terminal forgets: restoring a line
// without flow control restarts its output, and a line closed by everyone starts afresh.
std::set<dev_t> linesHeldByXoff;
constexpr char xon = 0x11, xoff = 0x13;

dev_t lineOf(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 ? status.st_rdev : 0;
}

std::string stuckDeviceText(milliseconds stall) {
    const std::string seconds = secondsText(stall);
    return ownDescription("The printer accepted no data for " + seconds +
                              " seconds (offline, out of paper or flow control held)",
                          "打印机" + seconds + "秒内未接收数据(脱机、缺纸或流控阻塞)");
}

std::string notASerialPortText(const std::string& path) {
    return ownDescription("\"" + path + "\" is not a serial port, so it takes no line settings",
                          "“" + path + "”不是串口，不能设置串口参数");
}

milliseconds timeUntil(Clock::time_point deadline) {
    return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(deadline - Clock::now()));
}

// The description of a failure, and on a second line what the technician can do about it.
PortError withHint(std::string description, const OpenFailure& facts) {
    const std::string hint = hintFor(facts);
    if (!hint.empty()) description += "\n" + hint;
    return PortError(description);
}

// A name lookup can take as long as the network's name servers do, so it runs on a thread of its
// own while the job waits through its host; a lookup that outlives the bound finishes alone and
// frees what it found.
struct Lookup {
    std::atomic<bool> done{false};
    int result = 0;
    int systemError = 0;
    addrinfo* addresses = nullptr;
    int wake[2] = {-1, -1};

    ~Lookup() {
        if (addresses != nullptr) freeaddrinfo(addresses);
        for (const int end : wake)
            if (end >= 0) ::close(end);
    }
};

std::shared_ptr<Lookup> startLookup(const NetworkPort& printer) {
    auto lookup = std::make_shared<Lookup>();
    if (pipe2(lookup->wake, O_CLOEXEC | O_NONBLOCK) != 0) throw PortError(systemErrorText(errno));
    std::thread([lookup, host = printer.host, service = std::to_string(printer.port)] {
        addrinfo wanted{};
        wanted.ai_family = AF_UNSPEC;
        wanted.ai_socktype = SOCK_STREAM;
        wanted.ai_flags = AI_NUMERICSERV;
        lookup->result = getaddrinfo(host.c_str(), service.c_str(), &wanted, &lookup->addresses);
        lookup->systemError = errno;
        lookup->done.store(true, std::memory_order_release);
        [[maybe_unused]] const ssize_t woken = ::write(lookup->wake[1], "", 1);
    }).detach();
    return lookup;
}

int socketError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 ? error : errno;
}

}  // namespace

void setRawInput(termios& settings) {
    settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK);
    settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

void setSerialLine(termios& settings, const SerialSettings& line) {
    setRawInput(settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_oflag &= ~OPOST;
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag |= line.dataBits == 5   ? CS5
                        : line.dataBits == 6 ? CS6
                        : line.dataBits == 7 ? CS7
                                             : CS8;
    if (line.parity != 'n') settings.c_cflag |= PARENB;
    if (line.parity == 'o') settings.c_cflag |= PARODD;
    if (line.stopBits == 2) settings.c_cflag |= CSTOPB;
    if (line.flow == 'x') settings.c_iflag |= IXON | IXOFF;
    if (line.flow == 'p') settings.c_cflag |= CRTSCTS;
    cfsetispeed(&settings, speedConstant(line.baud));
    cfsetospeed(&settings, speedConstant(line.baud));
}

PrinterPort::PrinterPort(JobHost& host) : host_(host), limits_(host.portLimits()) {}

PrinterPort::~PrinterPort() {
    if (isOpen()) release(/*discardOutput=*/true);
}

void PrinterPort::openRaw(const std::string& portName) {
    open(portName, /*twoWay=*/false);
}

void PrinterPort::openText(const std::string& portName) {
    open(portName, /*twoWay=*/false);
}

void PrinterPort::openTwoWay(const std::string& portName) {
    open(portName, /*twoWay=*/true);
}

void PrinterPort::open(const std::string& portName, bool twoWay) {
    if (slotTaken) throw PortError(systemErrorText(EBUSY));
    const PortTarget target = resolvePortName(portName);
    if (const auto* printer = std::get_if<NetworkPort>(&target)) {
        connect(*printer, portName);
    } else {
        openDevice(std::get<DevicePort>(target), portName, twoWay);
    }
}

void PrinterPort::openDevice(const DevicePort& device, const std::string& portName, bool twoWay) {
    // Never created: a name that is not there is a mistake or a printer unplugged, and a file
    // made in its place (at /dev/usb/lp0, say) would hide the device when it comes back.
    // Appending, so that a plain file holds every job as the printer would have received it.
    // Non-blocking, so that neither opening (a serial line without carrier) nor writing (a stuck
    // printer) can hold the job; no controlling terminal, since a printer is not one.
    // A line with XON/XOFF is read too: the printer's XON may come between jobs.
    const bool xonXoff = device.line && device.line->flow == 'x';
    const int access = twoWay || xonXoff ? O_RDWR : O_WRONLY | O_APPEND;
    const int fd = ::open(device.path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw withHint(systemErrorText(error), deviceOpenFailure(error, portName, device.path));
    }
    take(fd, isatty(fd) ? Kind::Terminal : Kind::File);
    // A plain file or a pipe has nobody behind it to answer.
    struct stat status {};
    canAnswer_ = fstat(fd_, &status) == 0 && S_ISCHR(status.st_mode);
    if (kind_ != Kind::Terminal || tcgetattr(fd_, &savedTerminal_) != 0) {
        if (!device.line) return;
        release(/*discardOutput=*/false);
        throw PortError(notASerialPortText(device.path));
    }

    // Without settings the line keeps the speed and flow control the system has configured; only
    // the terminal layer's output processing (LF to CR LF) is switched off, so that every byte
    // reaches the printer as sent, and, to hear the printer, its input processing.
    termios settings = savedTerminal_;
    if (device.line) {
        setSerialLine(settings, *device.line);
    } else {
        settings.c_oflag &= ~OPOST;
        if (twoWay) setRawInput(settings);
    }
    // Output flow control waits for the first write: until then the XON and XOFF the printer
    // sent are read here, since the terminal does not keep them.
    xonXoff_ = flowAwaited_ = xonXoff;
    flowSettings_ = settings;
    if (xonXoff) settings.c_iflag &= ~IXON;
    termios inForce{};
    if (tcsetattr(fd_, TCSANOW, &settings) != 0 || tcgetattr(fd_, &inForce) != 0) {
        const int error = errno;
        release(/*discardOutput=*/true);
        throw PortError(systemErrorText(error));
    }
    restoreTerminal_ = true;
    if (xonXoff) takeFlowBytes();
    // What arrived before the question is no answer to it.
    if (twoWay) tcflush(fd_, TCIFLUSH);
    if (device.line && cfgetospeed(&inForce) != speedConstant(device.line->baud)) {
        release(/*discardOutput=*/true);
        throw PortError(ownDescription(
            "\"" + device.path + "\" does not take the speed " + std::to_string(device.line->baud),
            "“" + device.path + "”不支持速率" + std::to_string(device.line->baud)));
    }
}

void PrinterPort::connect(const NetworkPort& printer, const std::string& portName) {
    const std::string address = shownAddress(printer);
    auto failure = [&](const std::string& description, int error) {
        OpenFailure facts;
        facts.error = error;
        facts.typed = portName;
        facts.tried = address;
        facts.network = true;
        return withHint(description + " (" + address + ")", facts);
    };
    // Looking the name up and connecting share one bound.
    const auto deadline = Clock::now() + limits_.connect;
    const std::shared_ptr<Lookup> lookup = startLookup(printer);
    while (!lookup->done.load(std::memory_order_acquire)) {
        if (timeUntil(deadline).count() == 0) throw failure(systemErrorText(ETIMEDOUT), ETIMEDOUT);
        host_.waitOnDevice(lookup->wake[0], POLLIN, timeUntil(deadline));
    }
    if (lookup->result != 0) {
        throw failure(lookup->result == EAI_SYSTEM ? systemErrorText(lookup->systemError)
                                                   : lookupErrorText(lookup->result),
                      0);
    }

    int error = ETIMEDOUT;
    for (const addrinfo* candidate = lookup->addresses; candidate != nullptr;
         candidate = candidate->ai_next) {
        const int fd =
            ::socket(candidate->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        if (::connect(fd, candidate->ai_addr, candidate->ai_addrlen) == 0) {
            error = 0;
        } else if (errno != EINPROGRESS) {
            error = errno;
        } else if (host_.waitOnDevice(fd, POLLOUT, timeUntil(deadline))) {
            error = socketError(fd);
        } else {
            error = ETIMEDOUT;
        }
        if (error == 0) {
            take(fd, Kind::Socket);
            canAnswer_ = true;
            return;
        }
        ::close(fd);
        if (timeUntil(deadline).count() == 0) break;
    }
    throw failure(systemErrorText(error), error);
}

void PrinterPort::take(int fd, Kind kind) {
    fd_ = fd;
    kind_ = kind;
    slotTaken = true;
}

void PrinterPort::takeFlowBytes() {
    char chunk[256];
    for (ssize_t got; (got = ::read(fd_, chunk, sizeof chunk)) > 0;) {
        for (const char byte : std::string_view(chunk, static_cast<std::size_t>(got))) {
            if (byte == xoff) linesHeldByXoff.insert(lineOf(fd_));
            if (byte == xon) linesHeldByXoff.erase(lineOf(fd_));
        }
    }
}

void PrinterPort::holdWhileXoff() {
    const auto deadline = Clock::now() + limits_.stall;
    for (;;) {
        takeFlowBytes();
        if (linesHeldByXoff.count(lineOf(fd_)) != 0) {
            if (timeUntil(deadline).count() == 0) throw stuck(limits_.stall);
            host_.waitOnDevice(fd_, POLLIN, timeUntil(deadline));
            continue;
        }
        if (tcsetattr(fd_, TCSANOW, &flowSettings_) != 0) throw PortError(systemErrorText(errno));
        // An XOFF that came just before the terminal took over is still to be read.
        takeFlowBytes();
        if (linesHeldByXoff.count(lineOf(fd_)) == 0) break;
        termios reading = flowSettings_;
        reading.c_iflag &= ~IXON;
        tcsetattr(fd_, TCSANOW, &reading);
    }
    flowAwaited_ = false;
}

PortError PrinterPort::stuck(milliseconds bound) {
    // On a line with XON/XOFF a printer that takes nothing holds XOFF, for the next job too.
    if (xonXoff_) linesHeldByXoff.insert(lineOf(fd_));
    return PortError(stuckDeviceText(bound));
}

void PrinterPort::write(std::string_view bytes) {
    if (flowAwaited_ && !bytes.empty()) holdWhileXoff();
    auto lastProgress = Clock::now();
    while (!bytes.empty()) {
        // A printer that hangs up must fail the write, not end the program with SIGPIPE.
        const ssize_t written = kind_ == Kind::Socket
                                    ? ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                    : ::write(fd_, bytes.data(), bytes.size());
        if (written > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
            lastProgress = Clock::now();
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno != EAGAIN) throw PortError(systemErrorText(errno));
        const auto waited = Clock::now() - lastProgress;
        if (waited >= limits_.stall) throw stuck(limits_.stall);
        waitForRoom(limits_.stall - waited);
    }
}

void PrinterPort::waitForRoom(Clock::duration limit) {
    const auto before = Clock::now();
    host_.waitOnDevice(fd_, POLLOUT, std::chrono::ceil<milliseconds>(limit));
    // Some printer drivers have no poll support and report "ready" at once; pause briefly so
    // that retrying them does not spin the processor.
    if (Clock::now() - before < milliseconds(1)) host_.waitOnDevice(fd_, 0, milliseconds(5));
}

bool PrinterPort::read(std::string& received, milliseconds limit, std::size_t most) {
    const auto deadline = Clock::now() + limit;
    bool readyAtOnce = false;
    for (;;) {
        char chunk[256];
        const ssize_t got = ::read(fd_, chunk, std::min(sizeof chunk, most));
        if (got > 0) {
            received.append(chunk, static_cast<std::size_t>(got));
            return true;
        }
        const int error = got == 0 ? 0 : errno;
        if (error == EINTR) continue;
        // An end of file, a terminal whose other end has gone, a connection reset: hung up.
        if (got == 0 || error == EIO || error == ECONNRESET || error == EPIPE) return false;
        if (timeUntil(deadline).count() == 0) return true;
        // Some drivers have no poll support and report "ready" at once with nothing to read: do
        // not spin on them.
        if (readyAtOnce) host_.waitOnDevice(fd_, 0, milliseconds(5));
        const auto before = Clock::now();
        // A device that cannot be read at all (a parallel port without a reverse channel)
        // simply never answers.
        host_.waitOnDevice(fd_, error == EAGAIN ? POLLIN : 0, timeUntil(deadline));
        readyAtOnce = Clock::now() - before < milliseconds(1);
    }
}

std::optional<int> PrinterPort::portStatusLines() const {
    int lines = 0;
    if (kind_ != Kind::File || !canAnswer_ || ioctl(fd_, LPGETSTATUS, &lines) != 0)
        return std::nullopt;
    return lines;
}

void PrinterPort::write(std::u8string_view text) {
    write(std::string_view(toGbk(text)));
}

void PrinterPort::writeLine(std::u8string_view text) {
    write(std::string_view(toGbk(text) + "\r\n"));
}

int PrinterPort::outstandingBytes() const {
    // A terminal's count is what it has not sent yet; a TCP socket's, what the printer has not
    // acknowledged yet.
    int pending = 0;
    const unsigned long request = kind_ == Kind::Socket ? SIOCOUTQ : TIOCOUTQ;
    return ioctl(fd_, request, &pending) == 0 ? pending : 0;
}

void PrinterPort::close() {
    if (!isOpen()) return;
    if (kind_ != Kind::File) {
        // Closing a terminal waits for its unsent output without a bound, and closing a socket
        // does not wait at all; wait here instead, for as long as the printer keeps taking bytes.
        // Nothing signals that output has gone; look again after 1 ms, then less and less often.
        auto lastProgress = Clock::now();
        milliseconds pause(1);
        for (int pending = outstandingBytes(); pending > 0;
             pause = std::min(pause * 2, milliseconds(20))) {
            if (Clock::now() - lastProgress >= limits_.drain) {
                PortError failure = stuck(limits_.drain);
                release(/*discardOutput=*/true);
                throw failure;
            }
            host_.waitOnDevice(fd_, 0, pause);
            if (const int error = kind_ == Kind::Socket ? socketError(fd_) : 0; error != 0) {
                release(/*discardOutput=*/true);
                throw PortError(systemErrorText(error));
            }
            const int now = outstandingBytes();
            if (now < pending) lastProgress = Clock::now();
            pending = now;
        }
    }
    if (kind_ == Kind::Socket) shutdown(fd_, SHUT_WR);
    // Everything went: the printer was not holding it back.
    if (xonXoff_ && !flowAwaited_) linesHeldByXoff.erase(lineOf(fd_));
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
    if (kind_ == Kind::Socket && discardOutput) {
        // Dropped at once rather than delivered after the job has given up on it.
        const linger abort{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    const int closed = ::close(fd_);
    const int error = closed == 0 ? 0 : errno;
    fd_ = -1;
    kind_ = Kind::File;
    canAnswer_ = false;
    xonXoff_ = flowAwaited_ = false;
    slotTaken = false;
    return error;
}
