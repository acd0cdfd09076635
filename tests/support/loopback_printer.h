#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A network printer on 127.0.0.1 for tests: it takes connections one after the other on a thread
// of its own and keeps what each of them sent.
class LoopbackPrinter {
public:
    struct Options {
        // How long each connection is left unread after it is taken.
        std::chrono::milliseconds readDelay{0};
        // The receive buffer asked for (0: the system's default); small, it holds back the
        // acknowledgements of what does not fit.
        int receiveBuffer = 0;
        // The port to listen on (0: any free one).
        unsigned port = 0;
        // Hangs up each connection once it has read this many bytes: closes its side, then
        // drops the connection with the rest unread (0: reads to the end).
        std::size_t hangUpAfter = 0;
    };

    LoopbackPrinter() : LoopbackPrinter(Options{}) {}
    explicit LoopbackPrinter(Options options);
    ~LoopbackPrinter();
    LoopbackPrinter(const LoopbackPrinter&) = delete;
    LoopbackPrinter& operator=(const LoopbackPrinter&) = delete;

    unsigned port() const { return port_; }
    // "127.0.0.1:PORT".
    std::string address() const;
    // What each connection closed so far sent, waiting up to `limit` for `count` of them.
    std::vector<std::string> connections(std::size_t count,
                                         std::chrono::milliseconds limit = std::chrono::seconds(3));

private:
    void serve(Options options);

    int listener_ = -1;
    int stop_[2] = {-1, -1};
    unsigned port_ = 0;
    std::mutex mutex_;
    std::condition_variable closed_;
    std::vector<std::string> connections_;
    std::thread server_;
};

// A free TCP port on 127.0.0.1 with nothing listening on it: connecting is refused.
unsigned refusingLoopbackPort();
