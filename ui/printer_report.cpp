#include "printer_report.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <QTextDocument>
#include <algorithm>
#include <cstdint>

#include "fonts.h"
#include "utf8_text.h"

namespace {

const QString notRead = QStringLiteral("未读取");

QString text(std::string_view utf8) {
    return qtText(utf8).toHtmlEscaped();
}

QString orNotRead(const std::optional<std::string>& name) {
    return name ? text(shownName(*name)) : notRead;
}

QString orNotRead(const std::optional<std::uint8_t>& id) {
    return id ? QStringLiteral("%1h").arg(*id, 2, 16, QChar('0')).toUpper() : notRead;
}

template <typename T>
std::optional<T> eitherOf(const std::optional<T>& first, const std::optional<T>& second) {
    return first ? first : second;
}

QString row(const QStringList& cells, bool heading = false) {
    const QString tag = heading ? QStringLiteral("th") : QStringLiteral("td");
    QString html = QStringLiteral("<tr>");
    for (const QString& cell : cells) html += "<" + tag + ">" + cell + "</" + tag + ">";
    return html + "</tr>";
}

// A label's cell, shaded as the window's headings are.
QString label(const QString& name) {
    return QStringLiteral("<span style=\"font-weight:bold\">%1</span>").arg(name);
}

QString table(const QString& rows) {
    return QStringLiteral(
               "<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"2\" "
               "style=\"border-collapse:collapse;border-color:#808080\">%1</table>")
        .arg(rows);
}

QString section(const QString& title, const QString& body) {
    return QStringLiteral("<p style=\"margin-top:6px;margin-bottom:2px;font-weight:bold\">%1</p>%2")
        .arg(title, body);
}

QString identitySection(const ReportContent& content) {
    const PrinterIdentity identity = content.info ? content.info->identity : PrinterIdentity{};
    // The status query asks some of the same; what it heard stands where the readout heard
    // nothing.
    const PrinterAnswers answers = content.status ? content.status->answers : PrinterAnswers{};
    const std::pair<QString, QString> fields[] = {
        {"型号", orNotRead(eitherOf(identity.model, answers.model))},
        {"制造商", orNotRead(eitherOf(identity.maker, answers.maker))},
        {"固件版本", orNotRead(identity.firmware)},
        {"序列号", orNotRead(identity.serial)},
        {"字库", orNotRead(identity.characterRom)},
        {"型号ID", orNotRead(eitherOf(identity.modelId, answers.modelId))},
        {"类型ID", orNotRead(eitherOf(identity.typeId, answers.typeId))},
        {"ROM版本ID", orNotRead(eitherOf(identity.romVersion, answers.romVersion))},
    };
    QString rows;
    for (const auto& [name, value] : fields) rows += row({label(name), value});
    return section("一、身份", table(rows));
}

QString statusSection(const ReportContent& content) {
    QString rows;
    if (!content.status) {
        rows = row({label("状态"), notRead});
    } else {
        const QStringList lines = qtText(statusBoxText(*content.status)).split('\n');
        for (const QString& line : lines) {
            const qsizetype colon = line.indexOf(QStringLiteral("："));
            if (colon > 0 && colon < 12)
                rows += row(
                    {label(line.left(colon).toHtmlEscaped()), line.mid(colon + 1).toHtmlEscaped()});
            else
                rows +=
                    QStringLiteral("<tr><td colspan=\"2\">%1</td></tr>").arg(line.toHtmlEscaped());
        }
    }
    return section("二、状态", table(rows));
}

// The customized values the command reference names; others go by their number.
QString customizedName(int number) {
    switch (number) {
        case 1:
            return QStringLiteral("用户NV存储容量");
        case 2:
            return QStringLiteral("NV图像存储容量");
        case 3:
            return QStringLiteral("纸宽");
        case 5:
            return QStringLiteral("打印浓度");
        case 6:
            return QStringLiteral("打印速度");
        default:
            return QStringLiteral("定制值%1").arg(number);
    }
}

QString settingsSection(const ReportContent& content) {
    if (!content.info) return section("三、设置", table(row({label("设置"), notRead})));
    const PrinterSettings& settings = content.info->settings;
    QString rows;
    // Two switches a row keeps the eight of them short.
    for (std::size_t left = 0; left < 4; ++left) {
        QStringList cells;
        for (const std::size_t at : {left, left + 4})
            cells << label(QStringLiteral("存储开关%1").arg(at + 1))
                  << (settings.memorySwitches[at] ? text(*settings.memorySwitches[at]) : notRead);
        rows += row(cells);
    }
    if (settings.customized.empty())
        rows += QStringLiteral("<tr><td>%1</td><td colspan=\"3\">%2</td></tr>")
                    .arg(label("定制值"), notRead);
    for (const CustomizedValue& value : settings.customized)
        rows += QStringLiteral("<tr><td>%1</td><td colspan=\"3\">%2</td></tr>")
                    .arg(label(customizedName(value.number)),
                         value.value ? QString::number(*value.value) : notRead);
    return section("三、设置", table(rows));
}

QString counterValue(const std::optional<std::vector<CounterReading>>& counters, int number) {
    if (!counters) return notRead;
    for (const CounterReading& reading : *counters)
        if (reading.number == number && reading.value) return QString::number(*reading.value);
    return notRead;
}

// GS g 2 numbers the cumulative counter 128 above its resettable one.
constexpr int cumulativeOffset = 128;
const std::pair<int, const char*> counterKinds[] = {
    {20, "走纸行数"}, {21, "打印头通电次数"}, {50, "切纸次数"}, {70, "运行小时"}};

QString countersSection(const ReportContent& content) {
    std::optional<std::vector<CounterReading>> counters;
    if (content.info) counters = content.info->counters;
    QString rows = row({"计数器", "可清零", "累计"}, true);
    for (const auto& [number, name] : counterKinds)
        rows += row({label(name), counterValue(counters, number),
                     counterValue(counters, number + cumulativeOffset)});
    return section("四、维护计数器", table(rows));
}

QString pagesSection(const ReportContent& content) {
    QString rows = row({"测试页", "打印时间", "结论", "备注"}, true);
    for (const PageVerdict& verdict : content.pages) {
        const DiagnosticPageInfo* page = nullptr;
        for (const DiagnosticPageInfo& info : diagnosticPages())
            if (info.page == verdict.page) page = &info;
        rows += row({label(page ? text(page->name) : QString()),
                     verdict.printedAt.empty() ? QStringLiteral("未打印") : text(verdict.printedAt),
                     text(verdict.verdict), text(verdict.note)});
    }
    return section("五、诊断页与技术员结论", table(rows));
}

QString seconds(std::chrono::milliseconds time) {
    return QString::number(time.count() / 1000.0, 'f', 2) + QStringLiteral(" 秒");
}

QString burnInSection(const ReportContent& content) {
    if (!content.burnIn) return section("六、烧机", table(row({label("烧机"), "未进行"})));
    const BurnInResult& run = *content.burnIn;
    QString outcome;
    if (run.fault)
        outcome = QStringLiteral("第%1轮出现故障：%2").arg(run.faultRound).arg(text(*run.fault));
    else if (run.stoppedByUser)
        outcome = QStringLiteral("第%1轮后按停止结束").arg(run.roundsDone);
    else
        outcome = run.passed() ? QStringLiteral("通过") : QStringLiteral("未完成");
    const std::optional<RoundTimeSpread> spread = roundTimeSpread(run.roundTimes);
    QString rows =
        row({label("结果"), outcome}) +
        row({label("轮数"),
             QStringLiteral("完成 %1 轮，共要求 %2 轮").arg(run.roundsDone).arg(run.rounds)}) +
        row({label("已写出"), QStringLiteral("小票 %1 张，切纸 %2 次，钱箱脉冲 %3 次")
                                  .arg(run.receipts)
                                  .arg(run.cuts)
                                  .arg(run.pulses)}) +
        row({label("每轮用时"), spread ? QStringLiteral("最短 %1，中位 %2，最长 %3")
                                             .arg(seconds(spread->shortest),
                                                  seconds(spread->median), seconds(spread->longest))
                                       : QStringLiteral("无")});
    QString counters = row({"计数器", "烧机前", "烧机后", "差"}, true);
    for (const auto& [number, name] : counterKinds)
        for (const int which : {number, number + cumulativeOffset}) {
            const QString before = counterValue(run.countersBefore, which);
            const QString after = counterValue(run.countersAfter, which);
            const bool both = before != notRead && after != notRead;
            counters +=
                row({label(QString::fromUtf8(name) + (which == number ? QStringLiteral("(可清零)")
                                                                      : QStringLiteral("(累计)"))),
                     before, after,
                     both ? QString::number(after.toLongLong() - before.toLongLong()) : notRead});
        }
    return section("六、烧机",
                   table(rows) + QStringLiteral("<p style=\"margin:1px\"></p>") + table(counters));
}

QString reportHtml(const ReportContent& content, bool standalone) {
    const QString title = QStringLiteral("打印机检测报告");
    QString html =
        QStringLiteral("<html><head><meta charset=\"utf-8\"><title>%1</title>").arg(title);
    // A browser has no substitution for the windows' face names: it is given the faces they
    // stand for.
    if (standalone)
        html += QStringLiteral(
            "<style>body{font-family:'AR PL UMing CN','Noto Serif CJK SC',SimSun,serif;"
            "font-size:10pt;max-width:190mm;margin:auto}</style>");
    html += QStringLiteral("</head><body>");
    html += QStringLiteral("<h2 align=\"center\" style=\"margin-bottom:4px\">%1</h2>").arg(title);
    html += table(
        row({label("日期时间"), text(content.madeAt), label("软件版本"),
             text("printer-tester " + content.toolVersion)}) +
        row({label("端口"), text(content.port), label("端口所指"), text(content.portMeaning)}));
    html += QStringLiteral(
                "<table width=\"100%\" cellspacing=\"0\" cellpadding=\"0\"><tr>"
                "<td width=\"50%\" style=\"padding-right:4px\">%1%2</td>"
                "<td width=\"50%\" style=\"padding-left:4px\">%3%4</td></tr></table>")
                .arg(identitySection(content), settingsSection(content), statusSection(content),
                     countersSection(content));
    html += pagesSection(content);
    html += burnInSection(content);
    html += QStringLiteral(
        "<p style=\"margin-top:14px\">技术员签字：________________　　"
        "店方签字：________________　　日期：____________</p>"
        "<p style=\"font-size:small;color:#555555\">“未读取”：打印机没有应答该项，或没有询问；"
        "报告只写打印机自己说出的内容，从不估计。</p>");
    return html + QStringLiteral("</body></html>");
}

}  // namespace

QString reportHtml(const ReportContent& content) {
    return reportHtml(content, true);
}

QByteArray reportPdf(const ReportContent& content) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
        // CSS pixels: the layout's lengths mean what they mean in a browser.
        pdf.setResolution(96);
        pdf.setTitle(QStringLiteral("打印机检测报告"));
        pdf.setCreator(qtText("printer-tester " + content.toolVersion));

        QTextDocument document;
        document.documentLayout()->setPaintDevice(&pdf);
        document.setDocumentMargin(0);
        const QSizeF page(pdf.width(), pdf.height());
        const QString html = reportHtml(content, false);
        // One page a shop can file: a long report is set smaller rather than run onto a second.
        for (qreal points = 10;; points -= 0.5) {
            document.setDefaultFont(faceFont(songFace(), points, false));
            document.setHtml(html);
            document.setTextWidth(page.width());
            if (document.size().height() <= page.height() || points <= 6) break;
        }
        QPainter painter(&pdf);
        document.drawContents(&painter, QRectF(QPointF(0, 0), page));
    }
    return bytes;
}

std::optional<std::string> writeReport(const ReportContent& content, const std::string& path,
                                       bool overwrite) {
    const std::optional<ReportFormat> format = reportFormatFor(path);
    if (!format) return std::string("报告文件名须以 .pdf、.html 或 .htm 结尾");
    const QByteArray bytes =
        *format == ReportFormat::Pdf ? reportPdf(content) : reportHtml(content).toUtf8();
    return writeReportBytes(path, std::string_view(bytes.constData(), bytes.size()), overwrite);
}
