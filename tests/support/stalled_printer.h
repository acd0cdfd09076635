#pragma once

#include <cstddef>
#include <string>

// A named pipe standing for a printer that has stopped taking bytes (offline, out of paper): its
// buffer is full, so a job's write has to wait, until drain() reads it empty.
class StalledPrinter {
public:
    // Makes the pipe at `path` and fills it.
    explicit StalledPrinter(std::string path);
    ~StalledPrinter();
    StalledPrinter(const StalledPrinter&) = delete;
    StalledPrinter& operator=(const StalledPrinter&) = delete;

    const std::string& path() const { return path_; }
    // Reads everything waiting and returns what jobs wrote, without the filling.
    std::string drain();

private:
    std::string path_;
    int reader_ = -1;
    int filler_ = -1;
    std::size_t fillingLeft_ = 0;
};
