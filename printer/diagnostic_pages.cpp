#include "diagnostic_pages.h"

#include <ctime>
#include <iterator>

#include "gbk.h"
#include "job_host.h"
#include "job_steps.h"
#include "printer_port.h"

namespace {

const DiagnosticPageInfo pages[] = {
    {DiagnosticPage::Charset, "charset", "字符集", "汉字库：GB2312、GBK、GB18030与汉字模式"},
    {DiagnosticPage::Codepages, "codepages", "代码页", "ESC t 代码页与 ESC R 国际字符"},
    {DiagnosticPage::Images, "images", "图像", "同一图片用四种图像命令打印"},
    {DiagnosticPage::Barcodes, "barcodes", "条码", "各种一维条码与二维码"},
    {DiagnosticPage::Layout, "layout", "字体与排版", "字体、倍数、样式、对齐与纸宽"},
    {DiagnosticPage::Selftest, "selftest", "自检页", "打印机自己的状态页"},
    {DiagnosticPage::Hexdump, "hexdump", "十六进制模式", "打印机的十六进制打印模式"},
};

std::string now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

}  // namespace

std::span<const DiagnosticPageInfo> diagnosticPages() {
    return pages;
}

const DiagnosticPageInfo* findDiagnosticPage(std::string_view key) {
    for (const DiagnosticPageInfo& info : pages)
        if (info.key == key) return &info;
    return nullptr;
}

std::string diagnosticPageStream(DiagnosticPage page, const PageHeading& heading) {
    const DiagnosticPageInfo& info = pages[static_cast<int>(page)];
    const std::u8string name(info.name.begin(), info.name.end());
    return "\x1B\x40" + toGbk(name) + "\n" + heading.port + " " + heading.printedAt +
           "\n\n\n\x1D\x56\x01";
}

bool DiagnosticPageJob(JobHost& host, DiagnosticPage page) {
    return RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        host.pumpEvents();
        const std::string portName = host.portName();
        PrinterPort port(host);
        port.openRaw(portName);
        port.write(diagnosticPageStream(page, {portName, now()}));
        port.close();
        return true;
    });
}
