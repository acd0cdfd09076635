#include "pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    slavePath = ptsname(master_);
    slave_ = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error("cannot open " + slavePath);
}

PseudoTerminal::~PseudoTerminal() {
    close(slave_);
    close(master_);
}

std::string PseudoTerminal::readAll() {
    std::string arrived;
    pollfd readable{master_, POLLIN, 0};
    char chunk[4096];
    while (poll(&readable, 1, 100) > 0) {
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n <= 0) break;
        arrived.append(chunk, static_cast<std::size_t>(n));
    }
    return arrived;
}

void PseudoTerminal::drain() {
    char sink[4096];
    pollfd readable{master_, POLLIN, 0};
    while (poll(&readable, 1, 0) > 0 && read(master_, sink, sizeof sink) > 0) {
    }
}

void PseudoTerminal::send(const std::string& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot send to " + slavePath);
}

bool PseudoTerminal::slaveOutputProcessing() const {
    return (slaveSettings().c_oflag & OPOST) != 0;
}

termios PseudoTerminal::slaveSettings() const {
    termios settings{};
    tcgetattr(slave_, &settings);
    return settings;
}

void PseudoTerminal::setSlaveSettings(const termios& settings) {
    if (tcsetattr(slave_, TCSANOW, &settings) != 0)
        throw std::runtime_error("cannot set " + slavePath);
}
