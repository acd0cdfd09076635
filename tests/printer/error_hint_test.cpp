#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>

#include "error_hint.h"
#include "temp_files.h"

namespace {

namespace fs = std::filesystem;

// A Chinese messages locale for as long as this lives, then C again. The tool's own texts only
// look at whether the locale's name starts with "zh", so when no Chinese locale is installed the
// C locale's messages data is offered under a Chinese name through LOCPATH.
class ChineseMessages {
public:
    ChineseMessages() = default;
    ChineseMessages(const ChineseMessages&) = delete;
    ChineseMessages& operator=(const ChineseMessages&) = delete;
    ~ChineseMessages() { std::setlocale(LC_MESSAGES, "C"); }

    bool set() {
        if (std::setlocale(LC_MESSAGES, "zh_CN.UTF-8") != nullptr) return true;
        std::error_code error;
        fs::create_directories(dir_.path("zh_CN.utf8"), error);
        fs::copy("/usr/lib/locale/C.utf8/LC_MESSAGES", dir_.path("zh_CN.utf8/LC_MESSAGES"),
                 fs::copy_options::recursive, error);
        if (error) return false;
        setenv("LOCPATH", dir_.path("").c_str(), 1);
        const bool set = std::setlocale(LC_MESSAGES, "zh_CN.UTF-8") != nullptr;
        unsetenv("LOCPATH");
        return set;
    }

private:
    TempDir dir_;
};

struct Row {
    const char* what;
    OpenFailure failure;
    // Pieces the hint holds, in this order; no pieces: there is no hint at all.
    std::vector<std::string> english;
    std::vector<std::string> chinese;
    // Pieces the hint must not hold, in either language.
    std::vector<std::string> absent = {};
};

OpenFailure device(int error, std::string typed, std::string tried) {
    OpenFailure failure;
    failure.error = error;
    failure.typed = std::move(typed);
    failure.tried = std::move(tried);
    return failure;
}

OpenFailure withGroups(OpenFailure failure, std::string group, std::vector<std::string> session,
                       std::vector<std::string> member) {
    failure.deviceGroup = std::move(group);
    failure.sessionGroups = std::move(session);
    failure.memberGroups = std::move(member);
    return failure;
}

OpenFailure withPorts(OpenFailure failure, std::vector<FoundPort> found) {
    failure.found = std::move(found);
    return failure;
}

OpenFailure network(int error, std::string typed, std::string tried) {
    OpenFailure failure = device(error, std::move(typed), std::move(tried));
    failure.network = true;
    return failure;
}

const std::vector<FoundPort> somePorts = {
    {"/dev/usb/lp1", "EPSON", "TM-T20II"},
    {"/dev/ttyUSB0", "", ""},
    {"/dev/ttyACM0", "", "XP-58"},
};

const Row rows[] = {
    // Permission denied: what to do depends on where the group stands.
    {"not in the group",
     withGroups(device(EACCES, "COM1", "/dev/ttyS0"), "dialout", {"me", "cdrom"}, {"me", "cdrom"}),
     {"COM1 is /dev/ttyS0. ", "not in the group dialout", "sudo usermod -aG dialout $USER",
      "log in again"},
     {"COM1 即 /dev/ttyS0：当前用户不在 dialout 组，请执行 sudo usermod -aG dialout $USER "
      "后重新登录"}},
    {"added to the group, not yet logged in again",
     withGroups(device(EACCES, "/dev/usb/lp0", "/dev/usb/lp0"), "lp", {"me"}, {"me", "lp"}),
     {"lp", "log out and log in again"},
     {"lp 组", "注销后重新登录"},
     {"usermod", "/dev/usb/lp0 is", "即"}},
    {"the session has the group",
     withGroups(device(EACCES, "/dev/ttyUSB0", "/dev/ttyUSB0"), "dialout", {"me", "dialout"},
                {"me", "dialout"}),
     {"ls -l /dev/ttyUSB0"},
     {"ls -l /dev/ttyUSB0", "权限"},
     {"usermod", "登录", "log"}},
    {"group unknown",
     withGroups(device(EACCES, "LPT1", "/dev/lp0"), "", {"me"}, {"me"}),
     {"LPT1 is /dev/lp0. ", "ls -l /dev/lp0"},
     {"LPT1 即 /dev/lp0：", "ls -l /dev/lp0"},
     {"usermod"}},
    {"root's group is not one to join",
     withGroups(device(EACCES, "/dev/ttyUSB0", "/dev/ttyUSB0"), "root", {"me"}, {"me"}),
     {"ls -l /dev/ttyUSB0"},
     {"ls -l /dev/ttyUSB0"},
     {"usermod"}},
    {"a path the shell would split",
     withGroups(device(EACCES, "/tmp/my port's", "/tmp/my port's"), "", {"me"}, {"me"}),
     {"ls -l '/tmp/my port'\\''s'"},
     {"ls -l '/tmp/my port'\\''s'"}},

    {"busy",
     device(EBUSY, "USB001", "/dev/usb/lp0"),
     {"USB001 is /dev/usb/lp0. ", "Another program", "CUPS"},
     {"USB001 即 /dev/usb/lp0：", "其他程序占用", "CUPS"}},

    // A missing port: the ports that do exist, the failed one left out.
    {"missing, ports found",
     withPorts(device(ENOENT, "USB002", "/dev/usb/lp2"), somePorts),
     {"USB002 is /dev/usb/lp2. ",
      "/dev/usb/lp1 (EPSON TM-T20II), /dev/ttyUSB0, /dev/ttyACM0 (XP-58)"},
     {"USB002 即 /dev/usb/lp2：",
      "/dev/usb/lp1 (EPSON TM-T20II)、/dev/ttyUSB0、/dev/ttyACM0 (XP-58)"},
     {"()", "( "}},
    {"missing, none found",
     device(ENODEV, "/dev/ttyUSB1", "/dev/ttyUSB1"),
     {"No printer port was found"},
     {"未找到打印机端口"},
     {"/dev/ttyUSB1"}},
    {"the failed port is not offered",
     withPorts(device(ENXIO, "LPT1", "/dev/lp0"), {{"/dev/lp0", "", ""}, {"/dev/ttyS0", "", ""}}),
     {"LPT1 is /dev/lp0. ", ": /dev/ttyS0"},
     {"LPT1 即 /dev/lp0：", "为 /dev/ttyS0"},
     {"/dev/lp0,", "/dev/lp0、"}},
    {"the only port found is the failed one",
     withPorts(device(ENXIO, "/dev/rfcomm0", "/dev/rfcomm0"), {{"/dev/rfcomm0", "", ""}}),
     {"No printer port was found"},
     {"未找到打印机端口"}},
    {"a missing file is a wrong name, not a port",
     withPorts(device(ENOENT, "/home/me/receipt.txt", "/home/me/receipt.txt"), somePorts),
     {},
     {}},

    // Input/output error on a serial port: no UART behind it.
    {"serial port without hardware",
     withPorts(device(EIO, "COM2", "/dev/ttyS1"), somePorts),
     {"COM2 is /dev/ttyS1. ", "no serial hardware", "/dev/usb/lp1 (EPSON TM-T20II)"},
     {"COM2 即 /dev/ttyS1：", "没有对应的串口硬件", "/dev/usb/lp1 (EPSON TM-T20II)"}},
    {"serial port without hardware, typed as a path, nothing else found",
     device(EIO, "/dev/ttyS3", "/dev/ttyS3"),
     {"/dev/ttyS3 has no serial hardware"},
     {"/dev/ttyS3 没有对应的串口硬件"},
     {"Printer ports", "本机的打印机端口", "；", "．"}},
    {"an I/O error of a USB printer is not about a UART",
     withPorts(device(EIO, "/dev/usb/lp0", "/dev/usb/lp0"), somePorts),
     {},
     {}},

    // Nothing to advise: the name tried is still told.
    {"only the name",
     device(EINVAL, "COM1", "/dev/ttyS0"),
     {"COM1 is /dev/ttyS0"},
     {"COM1 即 /dev/ttyS0"},
     {". ", "："}},

    {"refused",
     network(ECONNREFUSED, "IP_10.0.0.5", "10.0.0.5:9100"),
     {"IP_10.0.0.5 is 10.0.0.5:9100. ", "printer is on", "9100"},
     {"IP_10.0.0.5 即 10.0.0.5:9100：", "已开机", "9100"}},
    {"no answer",
     network(ETIMEDOUT, "printer.local:9100", "printer.local:9100"),
     {"same network"},
     {"同一网络"},
     {"printer.local:9100 is", "即"}},
    {"no route",
     network(EHOSTUNREACH, "tcp://10.1.1.9", "10.1.1.9:9100"),
     {"tcp://10.1.1.9 is 10.1.1.9:9100. ", "network connection"},
     {"tcp://10.1.1.9 即 10.1.1.9:9100：", "网络连接"}},
    {"a device's advice is not a network's",
     network(EACCES, "10.0.0.5:9100", "10.0.0.5:9100"),
     {},
     {}},
};

void expectRows(bool chinese) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string hint = hintFor(row.failure);
        const std::vector<std::string>& pieces = chinese ? row.chinese : row.english;
        EXPECT_EQ(hint.find('\n'), std::string::npos) << hint;
        if (pieces.empty()) {
            EXPECT_EQ(hint, "");
        }
        std::size_t from = 0;
        for (const std::string& piece : pieces) {
            const std::size_t at = hint.find(piece, from);
            EXPECT_NE(at, std::string::npos) << "'" << piece << "' not in order in: " << hint;
            if (at != std::string::npos) from = at + piece.size();
        }
        for (const std::string& piece : row.absent) {
            EXPECT_EQ(hint.find(piece), std::string::npos) << "'" << piece << "' in: " << hint;
        }
    }
}

TEST(Hint, EnglishOutsideAChineseLocale) {
    expectRows(/*chinese=*/false);
}

TEST(Hint, ChineseInAChineseLocale) {
    ChineseMessages locale;
    if (!locale.set()) GTEST_SKIP() << "no messages locale with a Chinese name could be set";
    expectRows(/*chinese=*/true);
}

// The facts gathered on this machine; CI runs as root, so the hint's own cases are above.
TEST(DeviceOpenFailure, GathersTheGroupsForPermissionAndThePortsForAMissingDevice) {
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    const group* nullGroup = getgrgid(null.st_gid);
    const group* ownGroup = getgrgid(getegid());
    if (nullGroup == nullptr || ownGroup == nullptr) GTEST_SKIP() << "groups without names";
    const std::string nullGroupName = nullGroup->gr_name;
    const std::string ownGroupName = ownGroup->gr_name;

    // Looked at, never opened.
    const OpenFailure denied = deviceOpenFailure(EACCES, "/dev/null", "/dev/null");
    EXPECT_EQ(denied.deviceGroup, nullGroupName);
    EXPECT_NE(std::find(denied.sessionGroups.begin(), denied.sessionGroups.end(), ownGroupName),
              denied.sessionGroups.end());
    EXPECT_TRUE(denied.found.empty());

    // A plain file's group is not the device's group to join.
    TempDir dir;
    writeFile(dir.path("file"), "");
    EXPECT_EQ(deviceOpenFailure(EACCES, "p", dir.path("file")).deviceGroup, "");

    const OpenFailure missing = deviceOpenFailure(ENOENT, "USB009", "/dev/usb/lp8");
    EXPECT_EQ(missing.found, scanPrinterPorts());
}

}  // namespace
