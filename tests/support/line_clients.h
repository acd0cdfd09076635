#pragma once

#include <chrono>
#include <string>
#include <string_view>

// The other end of the virtual printer's lines, as a test drives them: a TCP client on
// 127.0.0.1 and a writer on a pseudo-terminal, each a plain descriptor.

// A connected socket to 127.0.0.1:port, or -1.
int connectToLoopback(int port);
// A writer's descriptor on the terminal, or -1.
int openTerminal(const std::string& path);
bool writeAll(int fd, std::string_view bytes);
// Sends filler on a connected socket until `most` bytes are taken or the other end has taken
// nothing for `patience` (its buffers are full); returns how many bytes were taken.
std::size_t sendUntilHeldBack(int fd, std::size_t most, std::chrono::milliseconds patience);
// What arrives on `fd` until `count` bytes have come or `within` has passed.
std::string readFor(int fd, std::size_t count, std::chrono::milliseconds within);
