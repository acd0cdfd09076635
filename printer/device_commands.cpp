#include "device_commands.h"

#include <string>

#include "job_host.h"
#include "job_steps.h"
#include "printer_port.h"

bool CutPaperJob(JobHost& host) {
    const std::string partialCut = "\x1B\x69";  // ESC i
    return WriteStreamJob(host, partialCut + "\x0A");
}

bool DrawerPulseJob(JobHost& host) {
    // ESC p: connector pin 2, 128 × 2 ms on, 128 × 2 ms off.
    const std::string drawerKick("\x1B\x70\x00\x80\x80", 5);
    return WriteStreamJob(host, drawerKick + "\x0A");
}

// Prints straight away, without an event pump; like every job it refuses a port not chosen,
// and reports a failure and releases the port.
bool BarcodeJob(JobHost& host) {
    return RunJob(host, [&] {
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
    });
}
