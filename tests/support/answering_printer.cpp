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
#include <utility>

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
        // Requests are three bytes (DLE EOT n, GS I n), six (GS g 2 m nL nH), or GS ( E with
        // its length.
        for (;;) {
            if (hungUp || script.flood) break;
            const std::size_t length = requestLength(pending);
            if (length == 0 || pending.size() < length) break;
            const std::string request = pending.substr(0, length);
            pending.erase(0, length);
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

std::size_t requestLength(std::string_view pending) {
    if (pending.size() < 3) return 0;
    if (pending.substr(0, 3) == "\x1D\x67\x32") return 6;
    if (pending.substr(0, 3) != "\x1D\x28\x45") return 3;
    if (pending.size() < 5) return 0;
    return 5 + static_cast<unsigned char>(pending[3]) +
           256 * static_cast<std::size_t>(static_cast<unsigned char>(pending[4]));
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

std::string settingRequest(int function, int parameter) {
    return std::string("\x1D\x28\x45\x02\x00", 5) + static_cast<char>(function) +
           static_cast<char>(parameter);
}

std::string counterRequest(int number) {
    return std::string("\x1D\x67\x32\x00", 4) + static_cast<char>(number) + '\0';
}

AnsweringPrinter::Script readoutAnswersFor(const PrinterCondition& state) {
    AnsweringPrinter::Script script = answersFor(state);
    auto frame = [](char header, const std::string& text) {
        return header + text + std::string(1, '\0');
    };
    script.answers["\x1D\x49\x41"] = frame('\x5F', "1.05 ESC/POS");
    script.answers["\x1D\x49\x44"] = frame('\x5F', "XH2026120801");
    script.answers["\x1D\x49\x45"] = frame('\x5F', "CHINA GB18030");
    // Entering the user setting mode: 37 20 00.
    script.answers[std::string("\x1D\x28\x45\x03\x00\x01\x49\x4E", 8)] = frame('\x37', "\x20");
    // Memory switches, bit 8 first: 1 sends the power-on notice, 2 has GB2312 as its code.
    const char* switches[] = {"00000001", "00000000", "00000000", "00000000",
                              "00000000", "00000000", "00000000", "10000000"};
    for (int n = 1; n <= 8; ++n)
        script.answers[settingRequest(4, n)] = frame('\x37', "\x21" + std::string(switches[n - 1]));
    // Customized values: number, 1F, value.
    for (const auto& [number, value] :
         {std::pair{1, "2"}, {2, "4"}, {3, "6"}, {5, "65534"}, {6, "9"}})
        script.answers[settingRequest(6, number)] =
            frame('\x37', "\x27" + std::to_string(number) + "\x1F" + value);
    for (const auto& [number, value] : {std::pair{20, "1234"},
                                        {21, "567890"},
                                        {50, "12"},
                                        {70, "3"},
                                        {148, "98765"},
                                        {149, "4567890123"},
                                        {178, "345"},
                                        {198, "1200"}})
        script.answers[counterRequest(number)] = frame('\x5F', value);
    return script;
}
