#include "loopback_printer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace {

sockaddr_in loopback(unsigned port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

unsigned boundPort(int fd) {
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    return ntohs(bound.sin_port);
}

}  // namespace

LoopbackPrinter::LoopbackPrinter(Options options) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // Taken over by every accepted connection.
    if (options.receiveBuffer > 0) {
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &options.receiveBuffer,
                   sizeof options.receiveBuffer);
    }
    const sockaddr_in address = loopback(options.port);
    if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 || pipe2(stop_, O_CLOEXEC) != 0) {
        close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = boundPort(listener_);
    server_ = std::thread(&LoopbackPrinter::serve, this, options);
}

LoopbackPrinter::~LoopbackPrinter() {
    [[maybe_unused]] const ssize_t woken = write(stop_[1], "", 1);
    server_.join();
    for (const int fd : {listener_, stop_[0], stop_[1]}) close(fd);
}

std::string LoopbackPrinter::address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> LoopbackPrinter::connections(std::size_t count,
                                                      std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    closed_.wait_for(lock, limit, [&] { return connections_.size() >= count; });
    return connections_;
}

void LoopbackPrinter::serve(Options options) {
    for (;;) {
        pollfd waiting[] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        poll(waiting, 2, -1);
        if (waiting[1].revents != 0) return;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        pollfd stopped{stop_[0], POLLIN, 0};
        if (poll(&stopped, 1, static_cast<int>(options.readDelay.count())) > 0) {
            close(connection);
            return;
        }
        std::string received;
        char chunk[4096];
        const std::size_t wanted = options.hangUpAfter > 0 ? options.hangUpAfter : SIZE_MAX;
        for (ssize_t n;
             received.size() < wanted &&
             (n = read(connection, chunk, std::min(sizeof chunk, wanted - received.size()))) > 0;)
            received.append(chunk, static_cast<std::size_t>(n));
        if (options.hangUpAfter > 0) {
            // As a printer's firmware hangs up: its own side closed first, so the writer's next
            // bytes meet a closed connection, then reset by what is left unread.
            shutdown(connection, SHUT_WR);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        close(connection);
        std::lock_guard lock(mutex_);
        connections_.push_back(received);
        closed_.notify_all();
    }
}

unsigned refusingLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const unsigned port = boundPort(fd);
    close(fd);
    return port;
}
