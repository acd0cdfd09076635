// Prints each test receipt to a pseudo-terminal and reports wall time and
// processor time per receipt. The host waits in its event pump as the window
// does, so processor time shows what a receipt costs beyond its pauses.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench_support.h"
#include "job_host.h"
#include "receipts.h"

namespace {

class BenchHost : public JobHost {
public:
    explicit BenchHost(std::string port) : port_(std::move(port)) {}
    std::string portName() override { return port_; }
    void pumpEvents(std::chrono::milliseconds waitUpTo) override {
        std::this_thread::sleep_for(waitUpTo);
    }
    void showInformation(std::string_view, std::string_view text) override { fail(text); }
    void showCritical(std::string_view, std::string_view text) override { fail(text); }

private:
    static void fail(std::string_view text) {
        std::fprintf(stderr, "receipt failed: %.*s\n", static_cast<int>(text.size()), text.data());
        std::exit(1);
    }
    std::string port_;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const PrinterTerminal printer;
    BenchHost host(printer.path());
    printTimesHeader();
    timeReceipt("technician", rounds, printer, [&] { TestReceiptJob(host, TechnicianReceipt()); });
    timeReceipt("welcome", rounds, printer, [&] { TestReceiptJob(host, WelcomeReceipt()); });
    timeReceipt("brochure", rounds, printer, [&] { TestReceiptJob(host, BrochureReceipt()); });
    return 0;
}
