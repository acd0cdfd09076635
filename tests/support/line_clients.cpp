#include "line_clients.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

int connectToLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

int openTerminal(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = write(fd, bytes.data(), bytes.size());
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::size_t sendUntilHeldBack(int fd, std::size_t most, std::chrono::milliseconds patience) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const std::string block(1 << 20, 'A');
    std::size_t sent = 0;
    while (sent < most) {
        const ssize_t n = send(fd, block.data(), std::min(block.size(), most - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        pollfd writable{fd, POLLOUT, 0};
        if (poll(&writable, 1, static_cast<int>(patience.count())) <= 0) break;
    }
    return sent;
}

std::string readFor(int fd, std::size_t count, std::chrono::milliseconds within) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + within;
    std::string got;
    while (got.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd readable{fd, POLLIN, 0};
        if (left <= 0 || poll(&readable, 1, static_cast<int>(left)) <= 0) break;
        char chunk[4096];
        const ssize_t n = read(fd, chunk, std::min(sizeof chunk, count - got.size()));
        if (n <= 0) break;
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}
