#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostic_pages.h"
#include "job_host.h"
#include "port_scan.h"
#include "printer_report.h"

// The tool without its window: one job named by the arguments, for scripts and for burn-in
// across many printers. The same jobs, bytes, bounds and port forms as the window.

// What the arguments ask for.
struct CommandLine {
    enum class Job {
        Window,
        Cut,
        Drawer,
        Barcode,
        Receipt,
        Print,
        Status,
        Info,
        BurnIn,
        Report,
        ListPorts,
        Help,
        Version
    };
    Job job = Job::Window;
    std::string port;
    std::string receipt;  // technician, welcome or brochure
    DiagnosticPage page = DiagnosticPage::Charset;
    bool json = false;
    int copies = 1;
    int burnInRounds = 0;  // --burn-in N, alone or for the report
    // --report FILE: where the report goes, and whether an existing file may be replaced.
    std::string reportFile;
    bool force = false;
    // Bad usage, named ("unknown option --foo"); nothing is opened then.
    std::string usageError;
};

// Exit statuses: the job was done (for --status and --info, the printer answered); it failed (the
// port, a write, no answer); the arguments were wrong.
inline constexpr int exitDone = 0, exitFailed = 1, exitUsage = 2;

// Reads the arguments after the program's name. None means the window.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The options and the exit statuses, as --help prints them.
std::string usageText();

// A job host for a terminal: the port is the one given, waits are poll(2), the box's text goes
// to `out` and a failure's, with its hint, to `err`.
class ConsoleHost : public JobHost {
public:
    ConsoleHost(std::string port, std::ostream& out, std::ostream& err, PortLimits limits = {});
    std::string portName() override { return port_; }
    void pumpEvents(std::chrono::milliseconds waitUpTo) override;
    bool waitOnDevice(int fd, short events, std::chrono::milliseconds limit) override;
    PortLimits portLimits() const override { return limits_; }
    void showInformation(std::string_view title, std::string_view text) override;
    void showCritical(std::string_view title, std::string_view text) override;

private:
    std::string port_;
    std::ostream& out_;
    std::ostream& err_;
    PortLimits limits_;
};

// Lays a report out and writes it to a file (the window's library does, with Qt); returns what
// went wrong, or nothing. An existing file is replaced only when told to.
using ReportWriter = std::function<std::optional<std::string>(
    const ReportContent& content, const std::string& path, bool overwrite)>;

// Runs a parsed command line's job on `host` (whose port is the one given) and returns its exit
// status. Text that is no box's (the help, the version, the port list, JSON) goes to `out`.
// --report needs `writeReport`.
int runCommandLine(const CommandLine& command, JobHost& host, std::ostream& out, std::ostream& err,
                   const ScanRoots& roots = {}, const ReportWriter& writeReport = {});
