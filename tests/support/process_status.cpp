#include "process_status.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

long statusKiB(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    return -1;
}

long processorTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    // Fields 14 and 15, utime and stime, counted from after the command's closing parenthesis,
    // which starts field 3.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) ticks += std::stol(field);
    return ticks;
}

int lowestFreeDescriptor(pid_t pid) {
    const std::string open = "/proc/" + std::to_string(pid) + "/fd/";
    int fd = 0;
    while (std::filesystem::exists(std::filesystem::symlink_status(open + std::to_string(fd))))
        ++fd;
    return fd;
}
