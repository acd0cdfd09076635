#include "fake_host.h"

#include <poll.h>

#include <thread>
#include <utility>

void FakeHost::pumpEvents(std::chrono::milliseconds waitUpTo) {
    ++pumps;
    if (waitUpTo.count() > 0) {
        std::this_thread::sleep_for(waitUpTo);
        if (auto pause = std::exchange(duringPause, nullptr)) pause();
    } else if (atPlainPump) {
        atPlainPump();
    }
}

bool FakeHost::waitOnDevice(int fd, short events, std::chrono::milliseconds limit) {
    ++deviceWaits;
    const auto start = std::chrono::steady_clock::now();
    bool ready = false;
    if (events == 0) {
        std::this_thread::sleep_for(limit);
    } else {
        pollfd device{fd, events, 0};
        ready = poll(&device, 1, static_cast<int>(limit.count())) > 0;
    }
    waitedOnDevice += std::chrono::steady_clock::now() - start;
    return ready;
}

PortLimits quickAnswers() {
    using namespace std::chrono_literals;
    PortLimits limits;
    limits.firstAnswer = 200ms;
    limits.laterAnswer = 100ms;
    limits.allAnswers = 1000ms;
    return limits;
}
