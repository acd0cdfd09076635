#include "command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "answering_printer.h"
#include "child_program.h"
#include "device_commands.h"
#include "diagnostic_pages.h"
#include "fake_host.h"
#include "pseudo_terminal.h"
#include "receipt_streams.h"
#include "status_json.h"
#include "temp_files.h"

namespace {

using namespace std::chrono_literals;

struct Outcome {
    int status;
    std::string out, err;
};

// Runs the arguments as the program does, with "PORT" standing for `port`.
Outcome run(std::vector<std::string> arguments, const std::string& port = "",
            const ScanRoots& roots = {}) {
    for (std::string& argument : arguments)
        if (argument == "PORT") argument = port;
    std::ostringstream out, err;
    const CommandLine command = parseCommandLine(arguments);
    ConsoleHost host(command.port, out, err, quickAnswers());
    const int status = runCommandLine(command, host, out, err, roots);
    return {status, out.str(), err.str()};
}

// What the window's job writes to a plain file.
std::string windowStream(bool (*job)(JobHost&)) {
    TempDir dir;
    FakeHost host;
    host.port = dir.path("window.bin");
    writeFile(host.port, "");
    EXPECT_TRUE(job(host));
    return readFile(host.port);
}

std::string maskedTime(const std::string& stream) {
    static const std::regex time("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    return std::regex_replace(stream, time, "TIME");
}

// Each job writes the window's bytes, as many times as the copies say, to a plain file and to a
// terminal alike.
TEST(CommandLine, EachJobWritesTheWindowsBytes) {
    const std::string page =
        maskedTime(diagnosticPageStream(DiagnosticPage::Codepages, {"PORT", "TIME"}));
    const std::string barcode = windowStream(BarcodeJob);
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;
    };
    const Case cases[] = {
        {{"--port", "PORT", "--cut"}, windowStream(CutPaperJob)},
        {{"--drawer", "--port", "PORT"}, windowStream(DrawerPulseJob)},
        {{"--port", "PORT", "--barcode", "--copies", "3"}, barcode + barcode + barcode},
        {{"--port", "PORT", "--print", "codepages"}, page},
    };
    for (const bool terminal : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.arguments[2] + (terminal ? " to a terminal" : " to a file"));
            TempDir dir;
            PseudoTerminal line;
            const std::string port = terminal ? line.slavePath : dir.path("out.bin");
            if (!terminal) writeFile(port, "");
            const Outcome result = run(c.arguments, port);
            EXPECT_EQ(result.status, exitDone) << result.err;
            EXPECT_EQ(result.out + result.err, "");
            std::string arrived = terminal ? line.readAll() : readFile(port);
            std::string expected = c.expected;
            if (c.arguments.back() == "codepages") {
                arrived = maskedTime(arrived);
                expected = std::regex_replace(expected, std::regex("PORT"), port);
            }
            EXPECT_EQ(arrived, expected);
        }
    }
}

TEST(CommandLine, AReceiptReachesTheTerminalWhole) {
    const ReceiptStream& welcome = receiptStreams[1];
    PseudoTerminal line;
    const std::time_t started = std::time(nullptr);
    const Outcome result = run({"--receipt", "welcome", "--port", line.slavePath});
    EXPECT_EQ(result.status, exitDone) << result.err;
    EXPECT_EQ(expectReceipt(line.readAll(), welcome, started), "");
}

// A port that fails ends the job, and a series of copies, with the window's failure text and
// its hint on standard error.
TEST(CommandLine, AFailingPortExitsOneWithTheFailureOnStandardError) {
    TempDir dir;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--port", dir.path("gone/out.bin"), "--cut", "--copies", "5"},
          {"--port", "127.0.0.1:1", "--drawer"},
          {"--port", "127.0.0.1:1", "--status", "--json"}}) {
        SCOPED_TRACE(arguments[1]);
        const Outcome result = run(arguments);
        EXPECT_EQ(result.status, exitFailed);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err.rfind("出错提示:", 0), 0u) << result.err;
        // One failure, not one per copy.
        EXPECT_EQ(result.err.find("出错提示:", 1), std::string::npos) << result.err;
    }
    EXPECT_NE(run({"--port", "127.0.0.1:1", "--cut"}).err.find("9100"), std::string::npos);
}

// Bad usage is named on standard error, exits 2 and opens nothing.
TEST(CommandLine, BadUsageIsNamedAndOpensNothing) {
    TempDir dir;
    const std::string port = dir.path("never.bin");
    const struct {
        std::vector<std::string> arguments;
        const char* named;
    } cases[] = {
        {{"--cut"}, "--port PORT is needed"},
        {{"--port", port}, "no job given"},
        {{"--port"}, "--port needs a value"},
        {{"--port", port, "--cut", "--drawer"}, "one job at a time: --drawer after --cut"},
        {{"--port", port, "--receipt", "menu"}, "--receipt menu"},
        {{"--port", port, "--print", "colours"}, "--print colours: no such page"},
        {{"--port", port, "--cut", "--copies", "0"}, "重复次数须为1到99之间的整数！"},
        {{"--port", port, "--cut", "--copies", "100"}, "--copies 100"},
        {{"--port", port, "--cut", "--copies", "2x"}, "--copies 2x"},
        {{"--port", port, "--cut", "--json"},
         "--json goes with --status, --info or --burn-in only"},
        {{"--port", port, "--info", "--copies", "2"}, "--copies does not go with --info"},
        {{"--port", port, "--status", "--copies", "2"}, "--copies does not go with --status"},
        {{"--list-ports", "--port", port}, "go with a printer job only"},
        {{"--port", port, "--cut", "--port", port}, "--port given twice"},
        {{"--information"}, "unknown option --information"},
        {{"-h"}, "unknown option -h"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.named);
        writeFile(port, "");
        const Outcome result = run(c.arguments);
        EXPECT_EQ(result.status, exitUsage);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.named), std::string::npos) << result.err;
        EXPECT_EQ(readFile(port), "");
    }
    EXPECT_EQ(parseCommandLine({}).job, CommandLine::Job::Window);
}

TEST(CommandLine, StatusExitsZeroOnlyWhenThePrinterAnswered) {
    AnsweringPrinter printer(AnsweringPrinter::Line::PseudoTerminal,
                             answersFor({.coverOpen = true}));
    Outcome result = run({"--port", "PORT", "--status"}, printer.portName());
    EXPECT_EQ(result.status, exitDone) << result.err;
    EXPECT_NE(result.out.find("上盖：打开"), std::string::npos) << result.out;

    PseudoTerminal silent;
    result = run({"--status", "--port", silent.slavePath});
    EXPECT_EQ(result.status, exitFailed);
    EXPECT_NE(result.out, "");

    TempDir dir;
    writeFile(dir.path("file"), "");
    result = run({"--status", "--json", "--port", dir.path("file")});
    EXPECT_EQ(result.status, exitFailed);
    EXPECT_NE(result.out.find("\"answered\":false,\"can_answer\":false"), std::string::npos);
    EXPECT_EQ(readFile(dir.path("file")), "");
}

// The JSON object's fields, for each state the printer can be in, as the query reads them.
TEST(StatusJson, NamesWhatThePrinterSaid) {
    const struct {
        PrinterCondition state;
        std::vector<std::string> fields;
    } cases[] = {
        {{},
         {R"("answered":true)", R"("online":true)", R"("cover_open":false)", R"("paper":"ok")",
          R"("drawer_pin3":"low")", R"("errors":[])", R"("unanswered":[])"}},
        {{.offline = true, .coverOpen = true},
         {R"("online":false)", R"("cover_open":true)", R"("model_id":null)", R"("maker":null)"}},
        {{.paperNearEnd = true, .drawerHigh = true},
         {R"("paper":"near-end")", R"("drawer_pin3":"high")"}},
        {{.offline = true, .paperEnd = true}, {R"("paper":"out")"}},
        {{.offline = true, .cutterError = true}, {R"("errors":["cutter"])"}},
    };
    for (const auto& c : cases) {
        AnsweringPrinter printer(AnsweringPrinter::Line::Tcp, answersFor(c.state));
        const Outcome result = run({"--port", "PORT", "--status", "--json"}, printer.portName());
        SCOPED_TRACE(result.out);
        ASSERT_EQ(result.out.rfind("{\"port\":\"" + printer.portName() + "\",", 0), 0u);
        ASSERT_EQ(result.out.back(), '\n');
        for (const std::string& field : c.fields)
            EXPECT_NE(result.out.find(field), std::string::npos) << field;
    }
    // Names are the printer's bytes: what is no printable ASCII is escaped, never passed on.
    StatusFindings findings;
    findings.answers.printer = 0x12;
    findings.answers.maker = "A\"\\\x01\xC0";
    findings.unanswered = {"GS I 66", "GS I 67"};
    const std::string json = statusJson("COM1", &findings);
    EXPECT_NE(json.find(R"("maker":"A\"\\\u0001\u00c0")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("unanswered":["GS I 66","GS I 67"])"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("paper":null)"), std::string::npos) << json;
}

// --info: exit 0 only when the printer answered; the JSON's fields, null where it said nothing.
TEST(CommandLine, InfoExitsZeroOnlyWhenThePrinterAnsweredAndNamesItsFields) {
    AnsweringPrinter::Script halfAnswering = readoutAnswersFor({});
    halfAnswering.answers.erase("\x1D\x49\x44");
    halfAnswering.answers.erase(counterRequest(21));
    AnsweringPrinter printer(AnsweringPrinter::Line::Tcp, halfAnswering);
    Outcome result = run({"--port", "PORT", "--info", "--json"}, printer.portName());
    EXPECT_EQ(result.status, exitDone) << result.err;
    ASSERT_EQ(result.out.rfind("{\"port\":\"" + printer.portName() + "\",", 0), 0u);
    for (const char* field :
         {R"("answered":true,"can_answer":true,"online":true)", R"("model_id":32)",
          R"("firmware":"1.05 ESC/POS")", R"("serial":null)", R"("character_rom":"CHINA GB18030")",
          R"("memory_switches":["00000001","00000000")", R"({"number":3,"value":6})",
          R"({"number":20,"value":1234},{"number":21,"value":null})",
          R"("unanswered":["GS I 68","GS g 2 21"],"not_asked":[]})"})
        EXPECT_NE(result.out.find(field), std::string::npos) << field << "\n" << result.out;

    PseudoTerminal silent;
    result = run({"--info", "--port", silent.slavePath});
    EXPECT_EQ(result.status, exitFailed);
    EXPECT_NE(result.out.find("打印机没有应答"), std::string::npos) << result.out;

    TempDir dir;
    writeFile(dir.path("file"), "");
    result = run({"--info", "--json", "--port", dir.path("file")});
    EXPECT_EQ(result.status, exitFailed);
    EXPECT_NE(result.out.find(R"("answered":false,"can_answer":false,"online":null)"),
              std::string::npos);
    EXPECT_EQ(readFile(dir.path("file")), "");
}

TEST(CommandLine, ListsTheWindowsPortsAndHelps) {
    TempDir dir;
    std::filesystem::create_directory(dir.path("dev"));
    writeFile(dir.path("dev/lp0"), "");
    const Outcome ports = run({"--list-ports"}, "", {dir.path("dev"), dir.path("sys")});
    EXPECT_EQ(ports.out, "LPT1\nLPT2\nCOM1\nCOM2\n" + dir.path("dev/lp0") + "\n");

    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, exitDone);
    for (const char* named : {"--port", "--cut", "--drawer", "--barcode", "--receipt", "--print",
                              "--status", "--info", "--json", "--copies", "--list-ports",
                              "--version", "Exit status", "charset", "hexdump", "brochure"})
        EXPECT_NE(help.out.find(named), std::string::npos) << named;
}

// The real program, as a script starts it: no display, no window, the version and a job.
TEST(CommandLine, TheProgramRunsWithoutADisplay) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ChildProgram version(PRINTER_TESTER_PATH, {"--version"});
    EXPECT_EQ(version.line(5s), "printer-tester " PRINTER_TESTER_VERSION);
    EXPECT_EQ(version.wait(), 0);

    PseudoTerminal line;
    ChildProgram cut(PRINTER_TESTER_PATH, {"--port", line.slavePath, "--cut", "--copies", "2"});
    EXPECT_EQ(cut.wait(), 0);
    EXPECT_EQ(line.readAll(), windowStream(CutPaperJob) + windowStream(CutPaperJob));

    ChildProgram usage(PRINTER_TESTER_PATH, {"--copies"});
    EXPECT_NE(usage.errorLine(5s).find("--copies needs a value"), std::string::npos);
    EXPECT_EQ(usage.wait(), 2);
}

}  // namespace
