#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "job_host.h"

// Short answer bounds for status queries, so that a silent printer costs a fraction of a second.
PortLimits quickAnswers();

// A job host without a window: records the boxes a job shows and lets a test
// run code at the job's event-pump points.
class FakeHost : public JobHost {
public:
    struct Box {
        bool critical;
        std::string title;
        std::string text;
    };

    std::string port;
    PortLimits limits;
    std::vector<Box> boxes;
    int pumps = 0;
    // Runs at the next pump that waits (a pause of a receipt), then is cleared.
    std::function<void()> duringPause;
    // Runs at every pump that does not wait.
    std::function<void()> atPlainPump;

    // How often a job waited on its device, and for how long in all.
    int deviceWaits = 0;
    std::chrono::steady_clock::duration waitedOnDevice{};

    std::string portName() override { return port; }
    PortLimits portLimits() const override { return limits; }
    void pumpEvents(std::chrono::milliseconds waitUpTo) override;
    bool waitOnDevice(int fd, short events, std::chrono::milliseconds limit) override;
    void showInformation(std::string_view title, std::string_view text) override {
        boxes.push_back({false, std::string(title), std::string(text)});
    }
    void showCritical(std::string_view title, std::string_view text) override {
        boxes.push_back({true, std::string(title), std::string(text)});
    }
};
