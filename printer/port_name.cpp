#include "port_name.h"

#include <arpa/inet.h>
#include <sys/stat.h>
#include <termios.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "port_error.h"

namespace {

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char p, char t) {
               return std::toupper(static_cast<unsigned char>(t)) == p;
           });
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// "COM3" -> 3 for the whole name only; 0 when the name is not `prefix` and a number from 1.
// COM and LPT numbers have no leading zeros; USB numbers are written with three digits.
unsigned dosDeviceNumber(const std::string& name, std::string_view prefix, bool leadingZeros) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 3) return 0;
    if (!startsWithNoCase(name, prefix)) return 0;
    const std::string_view digits = std::string_view(name).substr(prefix.size());
    if (!allDigits(digits) || (!leadingZeros && digits.front() == '0')) return 0;
    return static_cast<unsigned>(std::stoul(std::string(digits)));
}

std::optional<std::string> dosDevicePath(const std::string& name) {
    if (const unsigned n = dosDeviceNumber(name, "COM", false))
        return "/dev/ttyS" + std::to_string(n - 1);
    if (const unsigned n = dosDeviceNumber(name, "LPT", false))
        return "/dev/lp" + std::to_string(n - 1);
    if (const unsigned n = dosDeviceNumber(name, "USB", true))
        return "/dev/usb/lp" + std::to_string(n - 1);
    return std::nullopt;
}

bool existingPath(const std::string& name) {
    struct stat status {};
    return ::stat(name.c_str(), &status) == 0;
}

std::vector<std::string> splitAtCommas(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(text.substr(start, comma - start));
    fields.push_back(text.substr(start));
    return fields;
}

[[noreturn]] void badSetting(const std::string& field, const std::string& name) {
    throw PortError(ownDescription(
        "The serial setting \"" + field + "\" in \"" + name +
            "\" is not valid (write NAME:BAUD[,PARITY[,DATA[,STOP[,FLOW]]]], e.g. COM1:9600,n,8,1)",
        "“" + name + "”中的串口参数“" + field +
            "”无效(格式为 名称:波特率[,校验[,数据位[,停止位[,流控]]]]，例如 COM1:9600,n,8,1)"));
}

SerialSettings parseSettings(const std::string& text, const std::string& name) {
    const std::vector<std::string> fields = splitAtCommas(text);
    if (fields.size() > 5) badSetting(fields[5], name);
    SerialSettings line;
    if (!allDigits(fields[0]) || fields[0].size() > 8) badSetting(fields[0], name);
    line.baud = static_cast<unsigned>(std::stoul(fields[0]));
    if (speedConstant(line.baud) == 0) {
        throw PortError(
            ownDescription("The serial speed \"" + fields[0] + "\" is not one this system can set",
                           "系统无法设置串口速率“" + fields[0] + "”"));
    }
    auto letter = [&](std::size_t at, std::string_view allowed) -> char {
        if (fields.size() <= at || fields[at].empty()) return 0;
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[at][0])));
        if (fields[at].size() != 1 || allowed.find(c) == std::string_view::npos)
            badSetting(fields[at], name);
        return c;
    };
    if (const char parity = letter(1, "neo")) line.parity = parity;
    if (const char data = letter(2, "5678")) line.dataBits = data - '0';
    if (const char stop = letter(3, "12")) line.stopBits = stop - '0';
    line.flow = letter(4, "xp");
    return line;
}

// Serial settings follow the last colon and consist of letters, digits and commas only, so a
// path whose own name has a colon in it (/dev/serial/by-path/...) is not mistaken for one.
std::optional<DevicePort> withLineSettings(const std::string& name) {
    const std::size_t colon = name.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string device = name.substr(0, colon);
    const std::string settings = name.substr(colon + 1);
    const std::optional<std::string> dosPath = dosDevicePath(device);
    // A path has a slash in it; tcp://HOST:PORT is an address, not a path.
    const bool isPath =
        device.find('/') != std::string::npos && !startsWithNoCase(device, "TCP://");
    if (!dosPath && !isPath) return std::nullopt;
    const bool settingsLike = std::all_of(settings.begin(), settings.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == ',';
    });
    if (!dosPath && !settingsLike) return std::nullopt;
    const std::string path = dosPath.value_or(device);
    // "COM1:" is the home platform's spelling of the device itself.
    if (settings.empty()) return DevicePort{path, std::nullopt};
    return DevicePort{path, parseSettings(settings, name)};
}

bool isIpv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool isIpv6(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isHostName(const std::string& text) {
    if (text.empty() || text.size() > 253 || text.front() == '-' || text.front() == '.')
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.';
    });
}

unsigned networkPortNumber(const std::string& digits, const std::string& name) {
    if (!allDigits(digits) || digits.size() > 5 || std::stoul(digits) == 0 ||
        std::stoul(digits) > 65535) {
        throw PortError(ownDescription(
            "The network port \"" + digits + "\" in \"" + name + "\" is not valid (1 to 65535)",
            "“" + name + "”中的网络端口“" + digits + "”无效(应为1到65535)"));
    }
    return static_cast<unsigned>(std::stoul(digits));
}

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; nothing when `text` is none of them.
std::optional<NetworkPort> hostAndPort(const std::string& text, const std::string& name,
                                       bool hostAlone) {
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || !isIpv6(text.substr(1, close - 1))) return std::nullopt;
        const std::string rest = text.substr(close + 1);
        if (rest.empty()) return NetworkPort{text.substr(1, close - 1), defaultPrinterPort};
        if (rest[0] != ':') return std::nullopt;
        return NetworkPort{text.substr(1, close - 1), networkPortNumber(rest.substr(1), name)};
    }
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        if (hostAlone && isHostName(text)) return NetworkPort{text, defaultPrinterPort};
        return std::nullopt;
    }
    const std::string host = text.substr(0, colon);
    if (!isHostName(host)) return std::nullopt;
    return NetworkPort{host, networkPortNumber(text.substr(colon + 1), name)};
}

std::optional<NetworkPort> networkPort(const std::string& name) {
    if (startsWithNoCase(name, "TCP://")) {
        if (auto port = hostAndPort(name.substr(6), name, true)) return port;
        throw PortError(ownDescription("\"" + name + "\" is not a network address",
                                       "“" + name + "”不是有效的网络地址"));
    }
    if (startsWithNoCase(name, "IP_")) {
        const std::string rest = name.substr(3);
        const std::size_t colon = rest.find(':');
        if (isIpv4(rest.substr(0, colon))) {
            if (colon == std::string::npos) return NetworkPort{rest, defaultPrinterPort};
            return NetworkPort{rest.substr(0, colon),
                               networkPortNumber(rest.substr(colon + 1), name)};
        }
    }
    if (isIpv4(name)) return NetworkPort{name, defaultPrinterPort};
    if (name.starts_with('[')) return hostAndPort(name, name, false);
    // A bare name is a file, never a host: only HOST:PORT names a printer by its host name.
    const std::size_t colon = name.rfind(':');
    if (colon != std::string::npos && allDigits(std::string_view(name).substr(colon + 1)))
        return hostAndPort(name, name, false);
    return std::nullopt;
}

}  // namespace

PortTarget resolvePortName(const std::string& name) {
    if (auto path = dosDevicePath(name)) return DevicePort{*path, std::nullopt};
    if (name.find(':') != std::string::npos && existingPath(name)) return DevicePort{name, {}};
    if (auto device = withLineSettings(name)) return *device;
    if (auto network = networkPort(name)) return *network;
    return DevicePort{name, std::nullopt};
}

std::string shownAddress(const NetworkPort& port) {
    const std::string host =
        port.host.find(':') != std::string::npos ? "[" + port.host + "]" : port.host;
    return host + ":" + std::to_string(port.port);
}

unsigned speedConstant(unsigned baud) {
    struct Speed {
        unsigned baud;
        speed_t constant;
    };
    static constexpr Speed speeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Speed& speed : speeds)
        if (speed.baud == baud) return speed.constant;
    return 0;
}
