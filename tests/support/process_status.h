#pragma once

#include <sys/types.h>

#include <string>

// What /proc says about a running process, for the tests and benchmarks that bound one.

// A line of /proc/PID/status in KiB, such as "VmRSS" or "VmHWM"; -1 when it has none.
long statusKiB(pid_t pid, const std::string& key);
// Processor time used so far, user and system, in clock ticks (sysconf(_SC_CLK_TCK) a second).
long processorTicks(pid_t pid);
// The number the process's next descriptor would get: the lowest one not open.
int lowestFreeDescriptor(pid_t pid);
