#include "printer_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

#include "answering_printer.h"
#include "child_program.h"
#include "command_line.h"
#include "fake_host.h"
#include "port_error.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

ReportContent madeAt(const std::string& time, std::optional<std::string> infoModel,
                     std::optional<std::string> statusModel = std::nullopt) {
    ReportContent content;
    content.madeAt = time;
    if (infoModel) content.info.emplace().identity.model = infoModel;
    if (statusModel) content.status.emplace().answers.model = statusModel;
    return content;
}

// The proposed name holds the model as the printer named itself, fit for any file system, and
// the report's minute.
TEST(PrinterReport, ProposesAFileNameFromTheModelAndTheTime) {
    const struct {
        ReportContent content;
        const char* expected;
    } cases[] = {
        {madeAt("2026-12-08 19:05", "TM-T20II"), "打印机报告-TM-T20II-20261208-1905.pdf"},
        {madeAt("2026-01-02 03:04", "POS 80/C:*?\"<>|\\x"),
         "打印机报告-POS_80_C_x-20260102-0304.pdf"},
        {madeAt("2026-12-08 19:05", "\xC8\xC8\xC3\xF4-58"), "打印机报告-热敏-58-20261208-1905.pdf"},
        {madeAt("2026-12-08 19:05", std::nullopt, "XP-58"), "打印机报告-XP-58-20261208-1905.pdf"},
        {madeAt("2026-12-08 19:05", "/// "), "打印机报告-未知型号-20261208-1905.pdf"},
    };
    for (const auto& c : cases) EXPECT_EQ(reportFileName(c.content), c.expected);
}

TEST(PrinterReport, SaysWhatThePortDenotes) {
    TempDir dir;
    writeFile(dir.path("file.bin"), "");
    ASSERT_EQ(mkfifo(dir.path("pipe").c_str(), 0600), 0);
    const struct {
        std::string port, expected;
    } cases[] = {
        {"COM1:9600,n,8,1,x", "/dev/ttyS0，串口，9600 波特，n,8,1，XON/XOFF"},
        {"USB001", "/dev/usb/lp0，USB 打印机"},
        {"192.168.1.87", "网络打印机 192.168.1.87:9100（TCP）"},
        {dir.path("file.bin"), dir.path("file.bin") + "，普通文件"},
        {dir.path("pipe"), dir.path("pipe") + "，管道"},
    };
    for (const auto& c : cases) EXPECT_EQ(portMeaning(c.port), c.expected);
    EXPECT_EQ(portMeaning("COM1:12345").rfind("端口名有误：", 0), 0u);
}

// An existing file is kept unless replacing it was asked; a file that cannot be written says why
// in the system's words and leaves nothing behind.
TEST(PrinterReport, NeverOverwritesUnaskedAndSaysWhyAWriteFails) {
    TempDir dir;
    const std::string kept = dir.path("kept.pdf");
    writeFile(kept, "the shop's copy");
    EXPECT_EQ(writeReportBytes(kept, "new", false), systemErrorText(EEXIST));
    EXPECT_EQ(readFile(kept), "the shop's copy");
    EXPECT_EQ(writeReportBytes(kept, "new", true), std::nullopt);
    EXPECT_EQ(readFile(kept), "new");

    ASSERT_EQ(mkdir(dir.path("locked").c_str(), 0500), 0);
    const struct {
        std::string path;
        int error;
    } failures[] = {
        {dir.path("kept.pdf/report.pdf"), ENOTDIR},
        {dir.path("missing/report.pdf"), ENOENT},
        {dir.path("locked/report.pdf"), EACCES},
    };
    for (const auto& c : failures) {
        // Permissions do not bind root.
        if (c.error == EACCES && geteuid() == 0) continue;
        SCOPED_TRACE(c.path);
        EXPECT_EQ(writeReportBytes(c.path, "report", false), systemErrorText(c.error));
        EXPECT_FALSE(fileExists(c.path));
    }
}

struct Written {
    int status = -1;
    std::string out, err;
    std::vector<ReportContent> reports;
};

Written runReport(const std::vector<std::string>& arguments,
                  std::optional<std::string> writeFailure = std::nullopt) {
    Written result;
    std::ostringstream out, err;
    const CommandLine command = parseCommandLine(arguments);
    ConsoleHost host(command.port, out, err, quickAnswers());
    result.status = runCommandLine(command, host, out, err, {},
                                   [&](const ReportContent& content, const std::string&, bool) {
                                       result.reports.push_back(content);
                                       return writeFailure;
                                   });
    result.out = out.str();
    result.err = err.str();
    return result;
}

// --report asks the printer and hands what it said to the writer; an existing file is refused
// before anything is opened, and a failed write exits 1 with its reason.
TEST(CommandLine, ReportsWhatThePrinterSaid) {
    TempDir dir;
    const std::string file = dir.path("report.pdf");
    AnsweringPrinter printer(AnsweringPrinter::Line::PseudoTerminal,
                             answersFor({.paperNearEnd = true}));
    Written result = runReport({"--port", printer.portName(), "--report", file});
    EXPECT_EQ(result.status, exitDone) << result.err;
    EXPECT_NE(result.out.find(file), std::string::npos);
    ASSERT_EQ(result.reports.size(), 1u);
    const ReportContent& content = result.reports[0];
    EXPECT_EQ(content.port, printer.portName());
    EXPECT_EQ(content.portMeaning, portMeaning(printer.portName()));
    ASSERT_TRUE(content.status);
    EXPECT_EQ(paperLeft(content.status->answers), PaperLeft::NearEnd);
    EXPECT_FALSE(content.burnIn);

    result = runReport({"--port", printer.portName(), "--report", file}, "No space left");
    EXPECT_EQ(result.status, exitFailed);
    EXPECT_NE(result.err.find("No space left"), std::string::npos) << result.err;

    writeFile(file, "kept");
    const std::string asked = printer.received();
    result = runReport({"--port", printer.portName(), "--report", file});
    EXPECT_EQ(result.status, exitUsage);
    EXPECT_NE(result.err.find("--force"), std::string::npos) << result.err;
    EXPECT_TRUE(result.reports.empty());
    EXPECT_EQ(printer.received(), asked);
    EXPECT_EQ(readFile(file), "kept");
    EXPECT_EQ(runReport({"--port", printer.portName(), "--report", file, "--force"}).status,
              exitDone);
}

TEST(CommandLine, BadReportUsageIsNamed) {
    const struct {
        std::vector<std::string> arguments;
        const char* named;
    } cases[] = {
        {{"--port", "x", "--report", "r.txt"}, "--report r.txt: not a .pdf, .html or .htm file"},
        {{"--port", "x", "--cut", "--force"}, "--force goes with --report only"},
        {{"--port", "x", "--cut", "--burn-in", "2"}, "one job at a time: --burn-in after --cut"},
        {{"--port", "x", "--report", "r.pdf", "--burn-in", "0"}, "烧机轮数须为1到9999之间的整数"},
        {{"--port", "x", "--report", "r.pdf", "--copies", "2"},
         "--copies does not go with --report"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        const Written result = runReport(c.arguments);
        EXPECT_EQ(result.status, exitUsage);
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_TRUE(result.reports.empty());
    }
}

// A burn-in given with a report is the report's, before or after it.
TEST(CommandLine, ABurnInWithAReportIsTheReports) {
    for (const auto& arguments :
         {std::vector<std::string>{"--port", "x", "--burn-in", "3", "--report", "r.pdf"},
          std::vector<std::string>{"--port", "x", "--report", "r.pdf", "--burn-in", "3"}}) {
        const CommandLine command = parseCommandLine(arguments);
        EXPECT_EQ(command.usageError, "");
        EXPECT_EQ(command.job, CommandLine::Job::Report);
        EXPECT_EQ(command.burnInRounds, 3);
    }
}

// The real program lays its report out with no display, in both forms.
TEST(CommandLine, TheProgramWritesAReportWithoutADisplay) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    TempDir dir;
    writeFile(dir.path("port.bin"), "");
    for (const char* name : {"report.pdf", "report.html"}) {
        ChildProgram program(PRINTER_TESTER_PATH,
                             {"--port", dir.path("port.bin"), "--report", dir.path(name)});
        EXPECT_EQ(program.wait(), exitDone) << name;
    }
    EXPECT_EQ(readFile(dir.path("report.pdf")).rfind("%PDF-", 0), 0u);
    EXPECT_NE(readFile(dir.path("report.html")).find("打印机检测报告"), std::string::npos);
    EXPECT_EQ(readFile(dir.path("port.bin")), "");
}

}  // namespace
