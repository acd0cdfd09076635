#include "error_hint.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "port_error.h"

namespace {

// The device names a technician types or picks for a printer port; a missing one of these is
// answered with the ports that do exist, a missing file elsewhere is just a wrong name. DOS names
// arrive here as the devices they stand for.
bool isPortDevice(const std::string& path) {
    for (const std::string_view prefix : {"/dev/usb/lp", "/dev/tty", "/dev/lp", "/dev/rfcomm"}) {
        if (path.starts_with(prefix)) return true;
    }
    return false;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A path as a shell command takes it, for the technician to copy.
std::string shellWord(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("/._-+:@%").find(c) != std::string_view::npos;
    });
    if (plain) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// "/dev/usb/lp0 (EPSON TM-T20II), /dev/ttyUSB0", leaving out the device that just failed.
std::string portList(const std::vector<FoundPort>& found, const std::string& failed) {
    const std::string separator = ownDescription(", ", "、");
    std::string list;
    for (const FoundPort& port : found) {
        if (port.path == failed) continue;
        if (!list.empty()) list += separator;
        list += port.path;
        if (const std::string names = port.names(); !names.empty()) list += " (" + names + ")";
    }
    return list;
}

std::string permissionAdvice(const OpenFailure& failure) {
    const std::string& group = failure.deviceGroup;
    // Joining root's group is no advice to give; nor is one the session already has.
    if (!group.empty() && group != "root" && !contains(failure.sessionGroups, group)) {
        if (contains(failure.memberGroups, group)) {
            return ownDescription(
                "You were added to the group " + group +
                    " after this session began: log out and log in again",
                "当前用户已加入 " + group + " 组，但本次登录尚未生效，请注销后重新登录");
        }
        const std::string command = "sudo usermod -aG " + group + " $USER";
        return ownDescription("You are not in the group " + group + ": run " + command +
                                  ", then log out and log in again",
                              "当前用户不在 " + group + " 组，请执行 " + command + " 后重新登录");
    }
    const std::string command = "ls -l " + shellWord(failure.tried);
    return ownDescription("Check its permissions with " + command,
                          "请用 " + command + " 检查其权限");
}

std::string missingDeviceAdvice(const OpenFailure& failure) {
    const std::string list = portList(failure.found, failure.tried);
    if (list.empty()) {
        return ownDescription(
            "No printer port was found on this computer: check that the printer is on and "
            "connected",
            "本机未找到打印机端口，请检查打印机是否已开机并连接");
    }
    return ownDescription("Printer ports on this computer: ", "本机的打印机端口为 ") + list;
}

// The kernel makes ttyS0-3 whether or not a UART is there; opening one without fails with EIO.
std::string noUartAdvice(const OpenFailure& failure, bool named) {
    std::string advice = named ? ownDescription("This port has no serial hardware behind it",
                                                "该端口没有对应的串口硬件")
                               : ownDescription(failure.tried + " has no serial hardware behind it",
                                                failure.tried + " 没有对应的串口硬件");
    const std::string list = portList(failure.found, failure.tried);
    if (!list.empty()) {
        advice +=
            ownDescription(". Printer ports on this computer: ", "；本机的打印机端口为 ") + list;
    }
    return advice;
}

std::string deviceAdvice(const OpenFailure& failure, bool named) {
    switch (failure.error) {
        case EACCES:
            return permissionAdvice(failure);
        case EBUSY:
            return ownDescription(
                "Another program is using the port (e.g. the printing system, CUPS): close it, or "
                "stop the print queue that uses the port, then try again",
                "端口正被其他程序占用(例如打印系统 "
                "CUPS)，请关闭该程序或停止使用此端口的打印队列后重试");
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return isPortDevice(failure.tried) ? missingDeviceAdvice(failure) : "";
        case EIO:
            return failure.tried.starts_with("/dev/ttyS") ? noUartAdvice(failure, named) : "";
        default:
            return "";
    }
}

std::string networkAdvice(int error) {
    switch (error) {
        case ECONNREFUSED:
            return ownDescription(
                "Nothing accepts connections on that port: check that the printer is on and that "
                "its network printing uses this port (usually 9100)",
                "该端口不接受连接，请确认打印机已开机，且其网络打印使用此端口(通常为 9100)");
        case ETIMEDOUT:
            return ownDescription(
                "No answer from that address: check the address and that the printer is on and "
                "on the same network as this computer",
                "该地址无应答，请检查地址，并确认打印机已开机且与本机在同一网络");
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
            return ownDescription(
                "That address cannot be reached: check the address and this computer's network "
                "connection",
                "无法到达该地址，请检查地址及本机的网络连接");
        default:
            return "";
    }
}

// Buffers for the reentrant group and user lookups: the system's suggestion, grown while it
// proves too small.
template <typename Record, typename Key, typename Lookup>
bool lookUp(Lookup lookup, Key key, Record& record, std::vector<char>& buffer) {
    buffer.resize(1024);
    for (;;) {
        Record* result = nullptr;
        const int error = lookup(key, &record, buffer.data(), buffer.size(), &result);
        if (error != ERANGE) return error == 0 && result != nullptr;
        buffer.resize(buffer.size() * 2);
    }
}

std::string groupName(gid_t id) {
    group record{};
    std::vector<char> buffer;
    return lookUp(getgrgid_r, id, record, buffer) ? record.gr_name : "";
}

std::vector<std::string> groupNames(const std::vector<gid_t>& ids) {
    std::vector<std::string> names;
    for (const gid_t id : ids) {
        std::string name = groupName(id);
        if (!name.empty() && !contains(names, name)) names.push_back(std::move(name));
    }
    return names;
}

// The groups this process runs with: fixed at login, whatever the database says now.
std::vector<gid_t> sessionGroupIds() {
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> ids(count > 0 ? static_cast<std::size_t>(count) : 0);
    const int got = getgroups(static_cast<int>(ids.size()), ids.data());
    ids.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    ids.push_back(getegid());
    return ids;
}

// The groups the database gives the user now, which a new login would have.
std::vector<gid_t> memberGroupIds() {
    passwd user{};
    std::vector<char> buffer;
    if (!lookUp(getpwuid_r, getuid(), user, buffer)) return {};
    std::vector<gid_t> ids(32);
    for (;;) {
        int count = static_cast<int>(ids.size());
        if (getgrouplist(user.pw_name, user.pw_gid, ids.data(), &count) >= 0) {
            ids.resize(static_cast<std::size_t>(count));
            return ids;
        }
        // The call reports the size it needs; guard against one that does not grow.
        ids.resize(std::max(static_cast<std::size_t>(count), ids.size() * 2));
    }
}

}  // namespace

std::string hintFor(const OpenFailure& failure) {
    const bool named = !failure.tried.empty() && failure.tried != failure.typed;
    const std::string advice =
        failure.network ? networkAdvice(failure.error) : deviceAdvice(failure, named);
    if (!named) return advice;
    const std::string naming = failure.typed + ownDescription(" is ", " 即 ") + failure.tried;
    return advice.empty() ? naming : naming + ownDescription(". ", "：") + advice;
}

OpenFailure deviceOpenFailure(int error, const std::string& typed, const std::string& tried) {
    OpenFailure failure;
    failure.error = error;
    failure.typed = typed;
    failure.tried = tried;
    // Only what the hint for this error decides on: the group database may be a network
    // service, and the scan reads sysfs.
    if (error == EACCES) {
        struct stat status {};
        // A plain file's group is no advice to join it.
        if (stat(tried.c_str(), &status) == 0 && S_ISCHR(status.st_mode)) {
            failure.deviceGroup = groupName(status.st_gid);
        }
        failure.sessionGroups = groupNames(sessionGroupIds());
        failure.memberGroups = groupNames(memberGroupIds());
    } else if (error == ENOENT || error == ENODEV || error == ENXIO || error == EIO) {
        failure.found = scanPrinterPorts();
    }
    return failure;
}
