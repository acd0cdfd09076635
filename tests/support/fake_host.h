#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "job_host.h"

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
    std::vector<Box> boxes;
    int pumps = 0;
    // Runs at the next pump that waits (a pause of a receipt), then is cleared.
    std::function<void()> duringPause;
    // Runs at every pump that does not wait.
    std::function<void()> atPlainPump;

    std::string portName() override { return port; }
    void pumpEvents(std::chrono::milliseconds waitUpTo) override;
    void showInformation(std::string_view title, std::string_view text) override {
        boxes.push_back({false, std::string(title), std::string(text)});
    }
    void showCritical(std::string_view title, std::string_view text) override {
        boxes.push_back({true, std::string(title), std::string(text)});
    }
};
