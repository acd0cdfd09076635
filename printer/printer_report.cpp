#include "printer_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <variant>

#include "local_time.h"
#include "port_error.h"
#include "port_name.h"

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The kernel's names tell the kind of a device; anything else is whatever the path holds now.
std::string deviceKind(const std::string& path) {
    static const std::pair<std::string_view, std::string_view> kinds[] = {
        {"/dev/usb/lp", "USB 打印机"}, {"/dev/lp", "并口"},         {"/dev/ttyS", "串口"},
        {"/dev/ttyUSB", "USB 串口"},   {"/dev/ttyACM", "USB 串口"}, {"/dev/rfcomm", "蓝牙串口"},
        {"/dev/pts/", "伪终端"},
    };
    for (const auto& [prefix, kind] : kinds)
        if (startsWith(path, prefix)) return std::string(kind);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return "不存在";
    if (S_ISREG(status.st_mode)) return "普通文件";
    if (S_ISFIFO(status.st_mode)) return "管道";
    if (S_ISCHR(status.st_mode)) return "字符设备";
    return "其他文件";
}

std::string lineText(const SerialSettings& line) {
    std::string text = std::to_string(line.baud) + " 波特，" + line.parity + "," +
                       std::to_string(line.dataBits) + "," + std::to_string(line.stopBits);
    if (line.flow == 'x') text += "，XON/XOFF";
    if (line.flow == 'p') text += "，RTS/CTS";
    return text;
}

// Letters of any script, digits and a few marks stay; a run of anything else becomes one "_".
// Bytes from 0x80 up are UTF-8 and kept, so a Chinese model name stays readable.
std::string fileNamePart(const std::string& name) {
    std::string part;
    for (const unsigned char c : name) {
        const bool kept = c >= 0x80 || std::isalnum(c) || c == '-' || c == '.';
        if (kept)
            part += static_cast<char>(c);
        else if (!part.empty() && part.back() != '_')
            part += '_';
    }
    while (!part.empty() && (part.back() == '_' || part.back() == '.')) part.pop_back();
    while (!part.empty() && part.front() == '.') part.erase(0, 1);
    // A file name has room for 255 bytes; the model gets a part of it, cut between characters.
    constexpr std::size_t longest = 64;
    if (part.size() > longest) {
        std::size_t cut = longest;
        while (cut > 0 && (static_cast<unsigned char>(part[cut]) & 0xC0) == 0x80) --cut;
        part.resize(cut);
    }
    return part;
}

}  // namespace

std::optional<ReportFormat> reportFormatFor(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
    const std::string extension = lowered(path.substr(dot + 1));
    if (extension == "pdf") return ReportFormat::Pdf;
    if (extension == "html" || extension == "htm") return ReportFormat::Html;
    return std::nullopt;
}

std::string reportTimeNow() {
    return localTimeNow("%Y-%m-%d %H:%M");
}

std::string portMeaning(const std::string& portName) {
    PortTarget target;
    try {
        target = resolvePortName(portName);
    } catch (const PortError& failure) {
        return std::string("端口名有误：") + failure.what();
    }
    if (const auto* network = std::get_if<NetworkPort>(&target))
        return "网络打印机 " + shownAddress(*network) + "（TCP）";
    const auto& device = std::get<DevicePort>(target);
    std::string text = device.path + "，" + deviceKind(device.path);
    if (device.line) text += "，" + lineText(*device.line);
    return text;
}

std::optional<std::string> reportModel(const ReportContent& content) {
    if (content.info && content.info->identity.model)
        return shownName(*content.info->identity.model);
    if (content.status && content.status->answers.model)
        return shownName(*content.status->answers.model);
    return std::nullopt;
}

std::string reportFileName(const ReportContent& content) {
    const std::optional<std::string> model = reportModel(content);
    std::string part = model ? fileNamePart(*model) : std::string();
    if (part.empty()) part = "未知型号";
    // "2026-12-08 19:05" becomes "20261208-1905".
    std::string stamp;
    for (const char c : content.madeAt)
        if (std::isdigit(static_cast<unsigned char>(c)))
            stamp += c;
        else if (c == ' ')
            stamp += '-';
    return "打印机报告-" + part + "-" + stamp + ".pdf";
}

std::optional<RoundTimeSpread> roundTimeSpread(std::vector<std::chrono::milliseconds> times) {
    if (times.empty()) return std::nullopt;
    std::sort(times.begin(), times.end());
    const std::size_t middle = times.size() / 2;
    const auto median = times.size() % 2 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
    return RoundTimeSpread{times.front(), median, times.back()};
}

std::optional<std::string> writeReportBytes(const std::string& path, std::string_view bytes,
                                            bool overwrite) {
    // O_EXCL makes the refusal to overwrite hold even against a file that appears meanwhile.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    const bool existed = access(path.c_str(), F_OK) == 0;
    const int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) return systemErrorText(errno);
    int failure = 0;
    for (std::size_t done = 0; done < bytes.size() && !failure;) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno != EINTR) failure = errno;
        if (wrote > 0) done += static_cast<std::size_t>(wrote);
    }
    if (!failure && fsync(fd) != 0 && errno != EINVAL) failure = errno;
    if (close(fd) != 0 && !failure) failure = errno;
    if (!failure) return std::nullopt;
    if (!existed) unlink(path.c_str());
    return systemErrorText(failure);
}
