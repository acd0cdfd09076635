#pragma once

#include <string>
#include <vector>

class JobHost;

// A test receipt layout: a banner printed large, then the body lines printed
// as text between the date line and the closing feeds.
struct ReceiptVariant {
    std::u8string banner;
    std::vector<std::u8string> body;
};

ReceiptVariant TechnicianReceipt();
ReceiptVariant WelcomeReceipt();
ReceiptVariant BrochureReceipt();

// Prints one receipt of the given layout to the port named by the host's
// selector, reporting its own failures; tells whether the whole receipt went out.
bool TestReceiptJob(JobHost& host, const ReceiptVariant& variant);

// Waits at least 0.3 s by a monotonic clock, keeping the window live.
void SettleDelay(JobHost& host);
