#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A program started by a test or a benchmark as a user would start it: its standard input on a
// pipe for commands, its standard output read line by line (or thrown away, for a program that
// prints more than anyone reads), its standard error read too.
class ChildProgram {
public:
    enum class Output { Read, Discard };

    ChildProgram(const std::string& path, const std::vector<std::string>& arguments,
                 Output output = Output::Read);
    // Ends it with SIGTERM if it still runs.
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    // The next line of standard output, or of standard error, or "(nothing)" when none comes
    // within the time given.
    std::string line(std::chrono::milliseconds within);
    std::string errorLine(std::chrono::milliseconds within);
    bool input(const std::string& text);

    // Sends SIGTERM and returns the exit status.
    int stop();
    // Waits for the end; returns the exit status, or -1 when a signal ended it.
    int wait();
    pid_t pid() const { return pid_; }
    // The most memory it held, in KiB, once it has ended.
    long maxResidentKiB() const { return maxResidentKiB_; }

private:
    struct Lines {
        int fd = -1;
        std::string buffer;
        std::string next(std::chrono::milliseconds within);
    };

    pid_t pid_ = -1;
    int in_ = -1;
    Lines out_, err_;
    long maxResidentKiB_ = 0;
};
