#include "device_commands.h"

#include <exception>
#include <string>

#include "job_host.h"
#include "job_steps.h"
#include "printer_port.h"

bool CutPaperJob(JobHost& host) {
    try {
        if (!PortCheck(host)) return false;
        const std::string partialCut = "\x1B\x69";  // ESC i
        host.pumpEvents();
        PrinterPort port(host);
        port.openRaw(host.portName());
        port.write(partialCut + "\x0A");
        port.close();
        return true;
    } catch (const std::exception& failure) {
        ErrorReport(host, failure.what());
        return false;
    }
}

bool DrawerPulseJob(JobHost& host) {
    try {
        if (!PortCheck(host)) return false;
        // ESC p: connector pin 2, 128 × 2 ms on, 128 × 2 ms off.
        const std::string drawerKick("\x1B\x70\x00\x80\x80", 5);
        host.pumpEvents();
        PrinterPort port(host);
        port.openRaw(host.portName());
        port.write(drawerKick + "\x0A");
        port.close();
        return true;
    } catch (const std::exception& failure) {
        ErrorReport(host, failure.what());
        return false;
    }
}

// Prints straight away, without an event pump; like every job it refuses a port not chosen,
// and reports a failure and releases the port.
bool BarcodeJob(JobHost& host) {
    try {
        if (!PortCheck(host)) return false;
        const std::string barcodeHeight = "\x1D\x68\x32";  // GS h: 50 dots
        PrinterPort port(host);
        port.openRaw(host.portName());
        port.write(barcodeHeight + "\x0A");
        // GS k, CODE128, five data bytes: code set B selector "{B", then "123".
        const std::string printBarcode = "\x1D\x6B\x49\x05{B123";
        port.write(printBarcode + "\x0A");
        port.close();
        return true;
    } catch (const std::exception& failure) {
        ErrorReport(host, failure.what());
        return false;
    }
}
