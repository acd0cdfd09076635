// Prints each test receipt to a pseudo-terminal and reports wall time and
// processor time per receipt. The host sleeps in its event pump as the window
// waits in its own, so processor time shows what a receipt costs beyond its
// pauses.
#include <cstdio>
#include <cstdlib>

#include "bench_support.h"
#include "fake_host.h"
#include "receipts.h"

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    PseudoTerminal printer;
    FakeHost host;
    host.port = printer.slavePath;
    printTimesHeader();
    timeReceipt("technician", rounds, printer, [&] { TestReceiptJob(host, TechnicianReceipt()); });
    timeReceipt("welcome", rounds, printer, [&] { TestReceiptJob(host, WelcomeReceipt()); });
    timeReceipt("brochure", rounds, printer, [&] { TestReceiptJob(host, BrochureReceipt()); });
    for (const FakeHost::Box& box : host.boxes) {
        std::fprintf(stderr, "receipt failed: %s\n", box.text.c_str());
    }
    return host.boxes.empty() ? 0 : 1;
}
