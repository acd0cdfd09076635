#pragma once

#include <string>

// The time of now on this machine's clock and in its time zone, written by strftime's
// `format`: what receipts, pages and reports print as the time they were made.
std::string localTimeNow(const char* format);
