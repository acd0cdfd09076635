// Runs the tester's own jobs, from its printer library, against a port, with a pause after
// each so that a virtual printer takes each for a receipt of its own. Makes the README's
// pictures and feeds the virtual printer's benchmark.
// Usage: tester_jobs PORT JOB... with JOB one of technician, welcome, brochure, cut, drawer,
// barcode.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device_commands.h"
#include "fake_host.h"
#include "receipts.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: tester_jobs PORT JOB...\n", stderr);
        return 2;
    }
    FakeHost host;
    host.port = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string job = argv[i];
        if (job == "technician") {
            TestReceiptJob(host, TechnicianReceipt());
        } else if (job == "welcome") {
            TestReceiptJob(host, WelcomeReceipt());
        } else if (job == "brochure") {
            TestReceiptJob(host, BrochureReceipt());
        } else if (job == "cut") {
            CutPaperJob(host);
        } else if (job == "drawer") {
            DrawerPulseJob(host);
        } else if (job == "barcode") {
            BarcodeJob(host);
        } else {
            std::fprintf(stderr, "no job %s\n", job.c_str());
            return 2;
        }
        // Longer than the second of quiet that ends a receipt.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    for (const FakeHost::Box& box : host.boxes) std::fprintf(stderr, "%s\n", box.text.c_str());
    return host.boxes.empty() ? 0 : 1;
}
