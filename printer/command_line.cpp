#include "command_line.h"

#include <poll.h>
#include <sys/stat.h>

#include <charconv>
#include <optional>
#include <ostream>

#include "burn_in.h"
#include "device_commands.h"
#include "job_steps.h"
#include "printer_info.h"
#include "printer_status.h"
#include "receipts.h"
#include "status_json.h"

namespace {

// As the window's copies box.
constexpr int mostCopies = 99;

std::string copiesRefusal() {
    return "重复次数须为1到" + std::to_string(mostCopies) + "之间的整数！";
}

std::optional<ReceiptVariant> receiptNamed(std::string_view name) {
    if (name == "technician") return TechnicianReceipt();
    if (name == "welcome") return WelcomeReceipt();
    if (name == "brochure") return BrochureReceipt();
    return std::nullopt;
}

bool needsPort(CommandLine::Job job) {
    using Job = CommandLine::Job;
    return job != Job::Window && job != Job::ListPorts && job != Job::Help && job != Job::Version;
}

// Runs the parsing steps; the first bad argument ends them with its name.
class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : args_(arguments) {}

    CommandLine parse() {
        for (next_ = 0; next_ < args_.size() && command_.usageError.empty();) take(args_[next_++]);
        if (!command_.usageError.empty()) return command_;
        if (command_.job == CommandLine::Job::Window && !args_.empty())
            return fail(
                "no job given (--cut, --drawer, --barcode, --receipt, --print, --status, --info, "
                "--burn-in, --report)");
        if (needsPort(command_.job) && !portGiven_) return fail("--port PORT is needed");
        if (!needsPort(command_.job) && (portGiven_ || copiesGiven_ || command_.json))
            return fail("--port, --copies and --json go with a printer job only");
        const bool question =
            command_.job == CommandLine::Job::Status || command_.job == CommandLine::Job::Info;
        if (command_.json && !question && command_.job != CommandLine::Job::BurnIn)
            return fail("--json goes with --status, --info or --burn-in only");
        if (copiesGiven_ && (question || command_.job == CommandLine::Job::BurnIn ||
                             command_.job == CommandLine::Job::Report))
            return fail("--copies does not go with " + std::string(jobOption_));
        if (command_.force && command_.job != CommandLine::Job::Report)
            return fail("--force goes with --report only");
        return command_;
    }

private:
    CommandLine fail(std::string message) {
        command_.usageError = std::move(message);
        return command_;
    }

    std::optional<std::string> value(std::string_view option) {
        if (next_ >= args_.size()) {
            fail(std::string(option) + " needs a value");
            return std::nullopt;
        }
        return args_[next_++];
    }

    // A whole number from 1 to `most`, written as nothing else.
    static std::optional<int> numberIn(const std::string& text, int most) {
        int number = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error != std::errc() || end != text.data() + text.size() || number < 1 || number > most)
            return std::nullopt;
        return number;
    }

    void setJob(CommandLine::Job job, std::string_view option) {
        if (command_.job != CommandLine::Job::Window)
            fail("one job at a time: " + std::string(option) + " after " + jobOption_);
        command_.job = job;
        jobOption_ = option;
    }

    void take(std::string_view option) {
        using Job = CommandLine::Job;
        if (option == "--cut") return setJob(Job::Cut, option);
        if (option == "--drawer") return setJob(Job::Drawer, option);
        if (option == "--barcode") return setJob(Job::Barcode, option);
        if (option == "--status") return setJob(Job::Status, option);
        if (option == "--info") return setJob(Job::Info, option);
        if (option == "--list-ports") return setJob(Job::ListPorts, option);
        if (option == "--help") return setJob(Job::Help, option);
        if (option == "--version") return setJob(Job::Version, option);
        if (option == "--json") {
            command_.json = true;
            return;
        }
        if (option == "--port") {
            const auto port = value(option);
            if (!port) return;
            if (portGiven_) return void(fail("--port given twice"));
            command_.port = *port;
            portGiven_ = true;
            return;
        }
        if (option == "--receipt") {
            const auto name = value(option);
            if (!name) return;
            if (!receiptNamed(*name))
                return void(fail("--receipt " + *name + ": not technician, welcome or brochure"));
            command_.receipt = *name;
            return setJob(Job::Receipt, option);
        }
        if (option == "--print") {
            const auto key = value(option);
            if (!key) return;
            const DiagnosticPageInfo* page = findDiagnosticPage(*key);
            if (!page) return void(fail("--print " + *key + ": no such page"));
            command_.page = page->page;
            return setJob(Job::Print, option);
        }
        if (option == "--burn-in") {
            const auto text = value(option);
            if (!text) return;
            const std::optional<int> rounds = numberIn(*text, mostBurnInRounds);
            if (!rounds) return void(fail("--burn-in " + *text + ": " + burnInRoundsRefusal()));
            command_.burnInRounds = *rounds;
            // With --report the rounds are the report's: no job of their own.
            if (command_.job == Job::Report) return;
            return setJob(Job::BurnIn, option);
        }
        if (option == "--report") {
            const auto file = value(option);
            if (!file) return;
            if (!reportFormatFor(*file))
                return void(fail("--report " + *file + ": not a .pdf, .html or .htm file"));
            command_.reportFile = *file;
            // A burn-in given before it is the report's.
            if (command_.job == Job::BurnIn) command_.job = Job::Window;
            return setJob(Job::Report, option);
        }
        if (option == "--force") {
            command_.force = true;
            return;
        }
        if (option == "--copies") {
            const auto text = value(option);
            if (!text) return;
            const std::optional<int> copies = numberIn(*text, mostCopies);
            if (!copies) return void(fail("--copies " + *text + ": " + copiesRefusal()));
            command_.copies = *copies;
            copiesGiven_ = true;
            return;
        }
        fail("unknown option " + std::string(option));
    }

    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
    CommandLine command_;
    std::string jobOption_;
    bool portGiven_ = false, copiesGiven_ = false;
};

bool runJob(const CommandLine& command, JobHost& host) {
    using Job = CommandLine::Job;
    switch (command.job) {
        case Job::Cut:
            return CutPaperJob(host);
        case Job::Drawer:
            return DrawerPulseJob(host);
        case Job::Barcode:
            return BarcodeJob(host);
        case Job::Receipt:
            return TestReceiptJob(host, *receiptNamed(command.receipt));
        case Job::Print:
            return DiagnosticPageJob(host, command.page);
        default:
            return false;
    }
}

int statusJob(const CommandLine& command, JobHost& host, std::ostream& out) {
    bool answered = false;
    const bool asked = RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        const std::optional<StatusFindings> findings = askPrinterStatus(host, command.port);
        answered = findings && findings->answers.printer;
        if (command.json)
            out << statusJson(command.port, findings ? &*findings : nullptr) << '\n';
        else
            host.showInformation(statusTitle,
                                 findings ? statusBoxText(*findings, host.portLimits().firstAnswer)
                                          : cannotAnswerText(command.port));
        return true;
    });
    return asked && answered ? exitDone : exitFailed;
}

// A progress line a round, the summary at the end; with --json the summary is one JSON object on
// standard output and the progress goes to standard error, out of a script's way.
int burnInJob(const CommandLine& command, JobHost& host, std::ostream& out, std::ostream& err) {
    std::ostream& lines = command.json ? err : out;
    const BurnInResult result =
        runBurnIn(host, command.burnInRounds, [&](const BurnInProgress& progress) {
            lines << burnInProgressLine(progress) << '\n' << std::flush;
            return true;
        });
    if (command.json)
        out << burnInJson(command.port, result) << '\n';
    else
        out << burnInSummaryText(result);
    return result.passed() ? exitDone : exitFailed;
}

// The report asks the printer what the window's readout and status query ask, runs the burn-in
// when asked, and writes what it found; an existing file is refused before anything is opened.
int reportJob(const CommandLine& command, JobHost& host, std::ostream& out, std::ostream& err,
              const ReportWriter& writeReport) {
    struct stat existing {};
    if (!command.force && lstat(command.reportFile.c_str(), &existing) == 0) {
        err << "printer-tester: --report " << command.reportFile
            << ": 文件已存在，未改动(要替换它请加 --force)\n";
        return exitUsage;
    }
    ReportContent content;
    content.port = command.port;
    content.portMeaning = portMeaning(command.port);
    content.toolVersion = PRINTER_TESTER_VERSION;
    for (const DiagnosticPageInfo& page : diagnosticPages())
        content.pages.push_back({page.page, "", "未测", ""});
    const bool asked = RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        content.status = askPrinterStatus(host, command.port);
        content.info = askPrinterInfo(host, command.port);
        return true;
    });
    bool burnInPassed = true;
    if (asked && command.burnInRounds > 0) {
        content.burnIn = runBurnIn(host, command.burnInRounds, [&](const BurnInProgress& progress) {
            out << burnInProgressLine(progress) << '\n' << std::flush;
            return true;
        });
        burnInPassed = content.burnIn->passed();
    }
    content.madeAt = reportTimeNow();
    if (const auto failure = writeReport(content, command.reportFile, command.force)) {
        err << "printer-tester: 无法写入报告 " << command.reportFile << "：" << *failure << '\n';
        return exitFailed;
    }
    out << "报告已写入：" << command.reportFile << '\n';
    return asked && burnInPassed ? exitDone : exitFailed;
}

int infoJob(const CommandLine& command, JobHost& host, std::ostream& out) {
    bool answered = false;
    const bool asked = RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        const std::optional<PrinterInfo> info = askPrinterInfo(host, command.port);
        answered = info && info->answered;
        if (command.json)
            out << infoJson(command.port, info ? &*info : nullptr) << '\n';
        else
            host.showInformation(infoTitle,
                                 info ? infoBoxText(*info) : cannotAnswerText(command.port));
        return true;
    });
    return asked && answered ? exitDone : exitFailed;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser(arguments).parse();
}

std::string usageText() {
    return "Usage: printer-tester                   open the window\n"
           "       printer-tester --port PORT JOB [--copies N]\n"
           "       printer-tester --port PORT --status [--json]\n"
           "       printer-tester --port PORT --info [--json]\n"
           "       printer-tester --port PORT --burn-in N [--json]\n"
           "       printer-tester --port PORT --report FILE [--burn-in N] [--force]\n"
           "       printer-tester --list-ports | --help | --version\n"
           "\n"
           "Runs one job on a receipt printer with no window, as the window's buttons do.\n"
           "\n"
           "  --port PORT        the printer: LPT1, COM1, /dev/usb/lp0, /dev/ttyUSB0:9600,\n"
           "                     HOST:9100, a file or a pipe; as typed into the window's port box\n"
           "Jobs (one of):\n"
           "  --cut              cut the paper\n"
           "  --drawer           open the cash drawer\n"
           "  --barcode          print the barcode\n"
           "  --receipt NAME     print a test receipt: technician, welcome or brochure\n"
           "  --print PAGE       print a diagnosis page: charset, codepages, images, barcodes,\n"
           "                     layout, selftest or hexdump\n"
           "  --status           ask the printer its state and who it is\n"
           "  --info             read the printer's identity, settings and counters (nothing\n"
           "                     is written to its settings)\n"
           "  --burn-in N        burn the printer in: N rounds (1-9999) of the technician "
           "receipt,\n"
           "                     a cut and a drawer pulse, its status asked between rounds; the\n"
           "                     first fault ends the run\n"
           "  --json             with --status, --info or --burn-in: print the result as one JSON\n"
           "                     object\n"
           "  --report FILE      ask the printer everything and write a report for the shop,\n"
           "                     PDF or HTML by FILE's extension (.pdf, .html, .htm)\n"
           "                     (with --report: N burn-in rounds first, in the report)\n"
           "  --force            with --report: replace FILE when it exists\n"
           "  --copies N         run the job N times, 1-99 (as the 重复 box); a failure ends them\n"
           "  --list-ports       print the ports the window's port box lists\n"
           "  --help             print this text\n"
           "  --version          print the version\n"
           "\n"
           "The text the window shows in its box goes to standard output; a failure, with what to\n"
           "check, to standard error.\n"
           "\n"
           "Exit status:\n"
           "  0  the job was done (--status, --info: the printer answered; --burn-in: every round\n"
           "     passed)\n"
           "  1  the job failed: the port, a write, no answer, a fault in a burn-in\n"
           "  2  bad usage; nothing was opened\n";
}

ConsoleHost::ConsoleHost(std::string port, std::ostream& out, std::ostream& err, PortLimits limits)
    : port_(std::move(port)), out_(out), err_(err), limits_(limits) {}

void ConsoleHost::pumpEvents(std::chrono::milliseconds waitUpTo) {
    if (waitUpTo.count() > 0) poll(nullptr, 0, static_cast<int>(waitUpTo.count()));
}

bool ConsoleHost::waitOnDevice(int fd, short events, std::chrono::milliseconds limit) {
    pollfd device{fd, events, 0};
    const int ready = poll(&device, events ? 1 : 0, static_cast<int>(limit.count()));
    return ready > 0;
}

void ConsoleHost::showInformation(std::string_view, std::string_view text) {
    out_ << text << '\n' << std::flush;
}

void ConsoleHost::showCritical(std::string_view, std::string_view text) {
    err_ << text << '\n' << std::flush;
}

int runCommandLine(const CommandLine& command, JobHost& host, std::ostream& out, std::ostream& err,
                   const ScanRoots& roots, const ReportWriter& writeReport) {
    using Job = CommandLine::Job;
    if (!command.usageError.empty()) {
        err << "printer-tester: " << command.usageError << "\n"
            << "Try 'printer-tester --help'.\n";
        return exitUsage;
    }
    switch (command.job) {
        case Job::Help:
            out << usageText();
            return exitDone;
        case Job::Version:
            out << "printer-tester " PRINTER_TESTER_VERSION "\n";
            return exitDone;
        case Job::ListPorts:
            for (const char* fixed : {"LPT1", "LPT2", "COM1", "COM2"}) out << fixed << '\n';
            for (const FoundPort& port : scanPrinterPorts(roots)) {
                out << port.path;
                if (const std::string names = port.names(); !names.empty()) out << '\t' << names;
                out << '\n';
            }
            return exitDone;
        case Job::Status:
            return statusJob(command, host, out);
        case Job::Info:
            return infoJob(command, host, out);
        case Job::BurnIn:
            return burnInJob(command, host, out, err);
        case Job::Report:
            if (!writeReport) {
                err << "printer-tester: --report: this build cannot write reports\n";
                return exitFailed;
            }
            return reportJob(command, host, out, err, writeReport);
        case Job::Window:
            return exitUsage;
        default:
            break;
    }
    for (int copy = 1; copy <= command.copies; ++copy)
        if (!runJob(command, host)) return exitFailed;
    return exitDone;
}
