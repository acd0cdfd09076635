#include "child_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

ChildProgram::ChildProgram(const std::string& path, const std::vector<std::string>& arguments,
                           Output output) {
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(output == Output::Read ? out[1] : open("/dev/null", O_WRONLY), STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        std::vector<std::string> words = arguments;
        words.insert(words.begin(), path);
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    out_.fd = out[0];
    err_.fd = err[0];
}

ChildProgram::~ChildProgram() {
    if (pid_ > 0) stop();
    close(in_);
    close(out_.fd);
    close(err_.fd);
}

std::string ChildProgram::line(std::chrono::milliseconds within) {
    return out_.next(within);
}

std::string ChildProgram::errorLine(std::chrono::milliseconds within) {
    return err_.next(within);
}

bool ChildProgram::input(const std::string& text) {
    return write(in_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

int ChildProgram::stop() {
    kill(pid_, SIGTERM);
    return wait();
}

int ChildProgram::wait() {
    int status = 0;
    rusage usage{};
    wait4(pid_, &status, 0, &usage);
    maxResidentKiB_ = usage.ru_maxrss;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ChildProgram::Lines::next(std::chrono::milliseconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    for (;;) {
        if (const std::size_t end = buffer.find('\n'); end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0)
            return "(nothing)";
        char chunk[4096];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) return "(nothing)";
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
}
