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

// A folder of the test's own, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

// A pseudo-terminal: jobs write to `slavePath`, the test reads what arrives
// at the master end. The test keeps a descriptor on the slave too, so that
// the job's close does not hang up the line.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    std::string slavePath;
    // Everything that has arrived, waiting until nothing more comes for a
    // short while.
    std::string readAll();
    // Whether the slave side still has its output post-processing on.
    bool slaveOutputProcessing() const;

private:
    int master_ = -1;
    int slave_ = -1;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// "1B 69 0A" -> the three bytes.
std::string bytesFromHex(const std::string& hex);
std::string fromGbk(const std::string& gbk);
std::string asUtf8(std::u8string_view text);
