#include "fake_host.h"

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
