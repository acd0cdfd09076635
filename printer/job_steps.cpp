#include "job_steps.h"

#include <exception>
#include <string>

#include "job_host.h"
#include "printer_port.h"

bool PortCheck(JobHost& host) {
    // Only spaces are trimmed for the comparison; the name itself is later
    // used exactly as typed.
    const std::string name = host.portName();
    const auto first = name.find_first_not_of(' ');
    const std::string trimmed = first == std::string::npos
                                    ? std::string()
                                    : name.substr(first, name.find_last_not_of(' ') - first + 1);
    if (trimmed.empty() || trimmed == portPlaceholder) {
        host.showInformation(noticeTitle, "请选取打印机所连接的端口！");
        return false;
    }
    return true;
}

void ErrorReport(JobHost& host, std::string_view description) {
    host.showCritical(failureTitle, "出错提示:" + std::string(description));
}

bool RunJob(JobHost& host, const std::function<bool()>& steps) {
    try {
        return steps();
    } catch (const std::exception& failure) {
        ErrorReport(host, failure.what());
        return false;
    }
}

bool WriteStreamJob(JobHost& host, std::string_view stream) {
    return RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        host.pumpEvents();
        PrinterPort port(host);
        port.openRaw(host.portName());
        port.write(stream);
        port.close();
        return true;
    });
}
