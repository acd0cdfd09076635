#include "receipts.h"

#include <chrono>
#include <string_view>

#include "contact_data.h"
#include "job_host.h"
#include "job_steps.h"
#include "local_time.h"
#include "port_error.h"
#include "printer_port.h"

namespace {

const std::u8string separator(31, u8'=');
const std::u8string checklist[] = {u8"  打印机测试:", u8"    ①.打印机联机", u8"    ②.打印头",
                                   u8"    ③.打印机汉字库"};
const std::u8string verdict = u8"      该打印机工作正常!";

std::u8string labelled(std::u8string_view label, std::u8string_view value) {
    return std::u8string(label) + std::u8string(value);
}

// "时期:2026-12-08 时间:14:05:09", local time, 24-hour clock.
std::u8string dateLine() {
    const std::string line = localTimeNow("时期:%Y-%m-%d 时间:%H:%M:%S");
    return std::u8string(line.begin(), line.end());
}

std::string portChangedText(const std::string& before, const std::string& after) {
    return ownDescription(
        "The port was changed during printing (\"" + before + "\" to \"" + after +
            "\"); the rest of the receipt was not sent",
        "端口在打印过程中被更改(“" + before + "”改为“" + after + "”)，小票其余部分未打印");
}

}  // namespace

ReceiptVariant TechnicianReceipt() {
    ReceiptVariant receipt{u8"溪禾云岫信息",
                           {
                               separator,
                               u8"       技  术:  柯  岚",
                               labelled(u8"       手  机:", contact::technicianMobile),
                               labelled(u8"     Q  Q :", contact::technicianQq),
                               labelled(u8"   工作QQ :", contact::technicianWorkQq),
                               labelled(u8"   邮  箱 :", contact::technicianEmail),
                           }};
    receipt.body.insert(receipt.body.end(), std::begin(checklist), std::end(checklist));
    receipt.body.insert(receipt.body.end(), {
                                                u8"  恭喜!恭喜!打印机测试完毕!",
                                                verdict,
                                                separator,
                                                u8"欢迎下次光临！",
                                                u8" ",
                                            });
    return receipt;
}

ReceiptVariant WelcomeReceipt() {
    ReceiptVariant receipt{u8"欢迎使用",
                           {
                               separator,
                               u8"   溪禾云岫信息技术有限公司",
                               labelled(u8"     doz:", contact::shopPhone),
                               labelled(u8"           :", contact::shopSecondPhone),
                               labelled(u8"     技  术:", contact::supportPhone),
                               labelled(u8"   个人电话:", contact::technicianMobile),
                               labelled(u8"     传  真:", contact::fax),
                           }};
    receipt.body.insert(receipt.body.end(), std::begin(checklist), std::end(checklist));
    receipt.body.insert(receipt.body.end(), {
                                                u8"   恭喜!恭喜!打印机测试完毕!",
                                                verdict,
                                                separator,
                                                u8"        欢迎下次光临！",
                                                u8" ",
                                                u8" ",
                                            });
    return receipt;
}

ReceiptVariant BrochureReceipt() {
    return {u8"溪禾云岫信息",
            {
                separator,
                u8"主  思迅超市\\服装\\餐饮软件！",
                u8"    海信零售\\服装软件！",
                u8"打  美萍会员\\客户管理软件！",
                u8"    中崎POS一体机！",
                u8"品  中崎\\TT票据打印机！",
                u8"    立象\\艾利\\斑马条码打印机！",
                u8"牌  码捷\\迅宝条码扫描枪！",
                u8"",
                u8"  经    ＊条码打印设备",
                u8"  营    ＊条码扫描设备",
                u8"  范    ＊pos收银系统",
                u8"  围    ＊仓库管理系统",
                u8"        ＊物流解决方案",
                u8"",
                u8"溪禾云岫信息技术有限公司",
                labelled(u8"地址:", contact::shopAddress),
                labelled(u8"电话:", contact::businessPhone) + u8" " + std::u8string(contact::fax) +
                    u8"(传真)",
                labelled(u8"商务QQ:", contact::businessQq),
                labelled(u8"Email:", contact::businessEmail),
                u8"",
                labelled(u8"电话:", contact::secondBusinessPhone),
                labelled(u8"商务QQ:", contact::secondBusinessQq),
                u8"",
                u8"        详情请点击公司网站",
                labelled(u8"         ", contact::companySite),
                separator,
                u8"          服务创造价值！",
                u8" ",
            }};
}

void SettleDelay(JobHost& host) {
    using namespace std::chrono;
    const auto settled = steady_clock::now() + milliseconds(300);
    for (auto now = steady_clock::now(); now < settled; now = steady_clock::now()) {
        host.pumpEvents(ceil<milliseconds>(settled - now));
    }
}

bool TestReceiptJob(JobHost& host, const ReceiptVariant& variant) {
    return RunJob(host, [&] {
        host.pumpEvents();
        if (!PortCheck(host)) return false;

        // Banner phase: large print.
        const std::string bannerPort = host.portName();
        PrinterPort port(host);
        port.openRaw(bannerPort);
        port.write("\x1B\x40");      // ESC @: initialise
        port.write("\x1B\x21\x2D");  // ESC !: banner print mode
        port.write("\x1C\x21\x38");  // FS !: Chinese characters, first mode
        port.write("\x1C\x21\x2D");  // FS !: Chinese characters, banner mode
        port.write(variant.banner + u8"\x0A");
        SettleDelay(host);
        port.write("\x1C\x21\x01");  // FS !: Chinese characters, body mode
        port.write("\x1B\x21\x01");  // ESC !: body print mode
        port.close();
        SettleDelay(host);
        host.pumpEvents();

        // Text phase: dated GBK text lines, no control codes. A name edited during the pauses
        // (half typed, or another port) would print the body somewhere else than the banner:
        // stop instead.
        const std::string textPort = host.portName();
        if (textPort != bannerPort) throw PortError(portChangedText(bannerPort, textPort));
        port.openText(textPort);
        port.writeLine(dateLine());
        for (const std::u8string& line : variant.body) port.writeLine(line);
        port.writeLine(u8"\x0A");
        port.writeLine(u8"\x0A");
        port.close();
        return true;
    });
}
