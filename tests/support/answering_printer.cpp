#include "answering_printer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

AnsweringPrinter::AnsweringPrinter(Line line, Script script) : line_(line) {
    if (pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    if (line == Line::PseudoTerminal) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        portName_ = ptsname(master_);
        // Kept open, so that the job's close does not hang up the line.
        slave_ = open(portName_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        portName_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    server_ = std::thread(&AnsweringPrinter::serve, this, std::move(script));
}

AnsweringPrinter::~AnsweringPrinter() {
    [[maybe_unused]] const ssize_t woken = write(stop_[1], "", 1);
    server_.join();
    for (const int fd : {master_, slave_, listener_, stop_[0], stop_[1]})
        if (fd >= 0) close(fd);
}

std::string AnsweringPrinter::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

int AnsweringPrinter::waitForConnection() {
    if (line_ == Line::PseudoTerminal) return master_;
    pollfd waiting[] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    if (poll(waiting, 2, -1) <= 0 || waiting[1].revents != 0) return -1;
    return accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
}

void AnsweringPrinter::serve(Script script) {
    const int line = waitForConnection();
    if (line < 0) return;
    std::string pending;
    int answered = 0;
    bool hungUp = false;
    auto send = [&](const std::string& bytes) {
        for (std::size_t at = 0; at < bytes.size();) {
            if (script.pieceBytes != 0 && at != 0 && at % script.pieceBytes == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const std::size_t piece =
                script.pieceBytes == 0
                    ? bytes.size() - at
                    : std::min(bytes.size() - at, script.pieceBytes - at % script.pieceBytes);
            // A job that has gone must not end the test with SIGPIPE.
            const ssize_t sent = line_ == Line::Tcp
                                     ? ::send(line, bytes.data() + at, piece, MSG_NOSIGNAL)
                                     : write(line, bytes.data() + at, piece);
            if (sent <= 0) return;
            at += static_cast<std::size_t>(sent);
        }
    };
    for (;;) {
        pollfd waiting[] = {{line, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        const bool flooding = script.flood && !pending.empty() && !hungUp;
        if (flooding) waiting[0].events |= POLLOUT;
        if (poll(waiting, 2, -1) <= 0 || waiting[1].revents != 0) break;
        if (waiting[0].revents & POLLOUT) send(std::string(64, '\x7F'));
        if (!(waiting[0].revents & (POLLIN | POLLHUP))) continue;
        char chunk[256];
        const ssize_t got = read(line, chunk, sizeof chunk);
        if (got <= 0) {
            // The job has hung up; a terminal's master end only waits for the next writer.
            if (line_ == Line::Tcp) break;
            poll(waiting + 1, 1, 10);
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            received_.append(chunk, static_cast<std::size_t>(got));
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        // Requests are three bytes each: DLE EOT n, GS I n.
        while (pending.size() >= 3 && !hungUp && !script.flood) {
            const std::string request = pending.substr(0, 3);
            pending.erase(0, 3);
            const auto answer = script.answers.find(request);
            if (answer == script.answers.end()) continue;
            std::this_thread::sleep_for(answered == 0 ? script.firstDelay : script.laterDelay);
            if (answered == script.hangUpAfter) {
                send(script.beforeEachAnswer + answer->second.substr(0, 2));
                hungUp = true;
                if (line_ == Line::Tcp) {
                    shutdown(line, SHUT_RDWR);
                } else {
                    close(slave_);
                    close(master_);
                    slave_ = master_ = -1;
                    return;
                }
                break;
            }
            send(script.beforeEachAnswer + answer->second);
            ++answered;
        }
    }
    if (line_ == Line::Tcp) close(line);
}

AnsweringPrinter::Script answersFor(const PrinterCondition& state) {
    auto byte = [](int value) { return std::string(1, static_cast<char>(value)); };
    // Fixed bits first: real-time status answers read 0xx1xx10.
    const int printer = 0x12 | (state.drawerHigh ? 0x04 : 0) | (state.offline ? 0x08 : 0);
    const int offlineCause = 0x12 | (state.coverOpen ? 0x04 : 0) | (state.paperEnd ? 0x20 : 0) |
                             (state.cutterError ? 0x40 : 0);
    const int errorCause = 0x12 | (state.cutterError ? 0x08 : 0);
    const int paperSensor = 0x12 | (state.paperNearEnd ? 0x0C : 0) | (state.paperEnd ? 0x60 : 0);
    AnsweringPrinter::Script script;
    script.answers = {
        {"\x10\x04\x01", byte(printer)},
        {"\x10\x04\x02", byte(offlineCause)},
        {"\x10\x04\x03", byte(errorCause)},
        {"\x10\x04\x04", byte(paperSensor)},
        {"\x1D\x49\x01", byte(0x20)},
        {"\x1D\x49\x02", byte(0x03)},
        {"\x1D\x49\x03", byte(0x41)},
        {"\x1D\x49\x42", std::string("_XIHE\0", 6)},
        {"\x1D\x49\x43", std::string("_XH-80C\0", 8)},
    };
    return script;
}
