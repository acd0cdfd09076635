#include "diagnostic_pages.h"

#include <cstdio>
#include <iterator>

#include "gbk.h"
#include "job_host.h"
#include "job_steps.h"
#include "local_time.h"
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

std::string hex(std::string_view bytes) {
    std::string out;
    for (const char byte : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, out.empty() ? "%02X" : " %02X",
                      static_cast<unsigned char>(byte));
        out += two;
    }
    return out;
}

std::string byte(int value) {
    return std::string(1, static_cast<char>(value));
}

// Two bytes, low first, as the commands count.
std::string little(int value) {
    return byte(value & 0xFF) + byte(value >> 8);
}

// A page as it is written: GBK text and commands, each sample under the bytes that make it.
struct Page {
    std::string bytes;
    void text(std::u8string_view line) { bytes += toGbk(line) + "\n"; }
    void ascii(std::string_view line) { bytes += std::string(line) + "\n"; }
    // The label line, then the sample made by `command`, undone after its line feed: some
    // modes (ESC { upside down) change only at the beginning of a line.
    void sample(std::string_view command, std::u8string_view name, std::u8string_view shown,
                std::string_view undo = {}) {
        bytes += hex(command) + " " + toGbk(name) + "\n";
        bytes += std::string(command) + toGbk(shown) + "\n" + std::string(undo);
    }
};

const std::string kanjiOn = "\x1C\x26", kanjiOff = "\x1C\x2E";

std::u8string u8(std::string_view text) {
    return std::u8string(text.begin(), text.end());
}

Page begin(const DiagnosticPageInfo& info, const PageHeading& heading) {
    Page page;
    page.bytes =
        std::string("\x1B\x40", 2) + kanjiOn + "\x1B\x61\x01" + std::string("\x1D\x21\x11", 3);
    page.text(u8(info.name));
    page.bytes += std::string("\x1D\x21\x00", 3);
    page.text(u8"打印机诊断 " + u8(info.key));
    page.bytes += std::string("\x1B\x61\x00", 3);
    page.text(u8"端口:" + u8(heading.port));
    page.text(u8"时间:" + u8(heading.printedAt));
    page.ascii("");
    return page;
}

std::string end(Page& page) {
    page.bytes += std::string("\x1B\x64\x04", 3) + std::string("\x1D\x56\x01", 3);
    return page.bytes;
}

// Consecutive GBK codes from lead/trail, passing over trail 7F and wrapping after FE.
std::string gbkRun(int lead, int trail, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += byte(lead) + byte(trail);
        if (++trail == 0x7F) ++trail;
        if (trail > 0xFE) trail = 0x40, ++lead;
    }
    return out;
}

void gbkRow(Page& page, int lead, int trail, int count = 12) {
    char label[8];
    std::snprintf(label, sizeof label, "%02X%02X ", lead, trail);
    page.bytes += label + gbkRun(lead, trail, count) + "\n";
}

void charset(Page& page) {
    page.sample(kanjiOn, u8"FS & 汉字模式开", u8"");
    page.text(u8"GB2312 符号区 1-9区:");
    for (const auto& [lead, trail] : {std::pair{0xA1, 0xA2},
                                      {0xA2, 0xB1},
                                      {0xA3, 0xA1},
                                      {0xA4, 0xA1},
                                      {0xA5, 0xA1},
                                      {0xA6, 0xA1},
                                      {0xA7, 0xA1},
                                      {0xA8, 0xA1},
                                      {0xA9, 0xA4}})
        gbkRow(page, lead, trail);
    page.text(u8"GB2312 一级汉字 首行/末行:");
    gbkRow(page, 0xB0, 0xA1);
    gbkRow(page, 0xD7, 0xEE);
    page.text(u8"GB2312 二级汉字 首行/末行:");
    gbkRow(page, 0xD8, 0xA1);
    gbkRow(page, 0xF7, 0xF3);
    page.text(u8"GBK/3、GBK/4、GBK/5:");
    gbkRow(page, 0x81, 0x40);
    gbkRow(page, 0xAA, 0x40);
    gbkRow(page, 0xA8, 0x40);
    page.text(u8"GB18030 四字节 扩展A/扩展B:");
    for (const std::u8string_view row : {std::u8string_view(u8"㐀㐁㐂㐃㐄㐅㐆㐇㐈㐉"),
                                         std::u8string_view(u8"𠀀𠀁𠀂𠀃𠀄𠀅𠀆𠀇𠀈𠀉")}) {
        const std::string codes = toGb18030(row);
        std::string label;
        for (const char b : codes.substr(0, 4)) {
            char two[3];
            std::snprintf(two, sizeof two, "%02X", static_cast<unsigned char>(b));
            label += two;
        }
        page.bytes += label + " " + codes + "\n";
    }
    page.text(u8"欧元符号:");
    page.bytes += "A2E3 \xA2\xE3  80 \x80\n";
    page.text(u8"若小票像下面这行(成对的西文字母)，");
    page.text(u8"说明汉字模式未开:");
    page.bytes += hex(kanjiOff) + " FS .\n" + kanjiOff;
    gbkRow(page, 0xB0, 0xA1);
    page.bytes += kanjiOn;
    page.sample("", u8"FS & 汉字模式已恢复", u8"");
}

void codepages(Page& page) {
    page.text(u8"汉字模式关，各代码页 80-FF:");
    page.bytes += kanjiOff;
    const std::pair<int, const char*> tables[] = {
        {0, "PC437"}, {1, "Katakana"}, {2, "PC850"},  {3, "PC860"},  {4, "PC863"},
        {5, "PC865"}, {16, "WPC1252"}, {17, "PC866"}, {18, "PC852"}, {19, "PC858"},
    };
    for (const auto& [n, name] : tables) {
        const std::string select = "\x1B\x74" + byte(n);
        page.bytes += std::string("\x1B\x74\x00", 3);
        page.ascii(hex(select) + " ESC t " + std::to_string(n) + " " + name);
        page.bytes += select;
        page.ascii("   0123456789ABCDEF");
        for (int row = 0x8; row <= 0xF; ++row) {
            char label[8];
            std::snprintf(label, sizeof label, "%Xx ", row);
            std::string line = label;
            for (int column = 0; column < 16; ++column) line += byte(row * 16 + column);
            page.ascii(line);
        }
    }
    page.bytes += std::string("\x1B\x74\x00", 3);
    const char* countries[] = {
        "USA",   "France", "Germany",    "UK",       "Denmark I", "Sweden", "Italy",    "Spain I",
        "Japan", "Norway", "Denmark II", "Spain II", "Latin Am.", "Korea",  "Slovenia", "China"};
    for (int n = 0; n < 16; ++n) {
        const std::string select = "\x1B\x52" + byte(n);
        std::string name = countries[n];
        name.resize(11, ' ');
        page.bytes += select;
        page.ascii(hex(select) + " " + name + "#$@[\\]^`{|}~");
    }
    page.bytes += std::string("\x1B\x52\x00", 3) + kanjiOn;
    page.text(u8"1C 26 汉字模式已恢复");
}

}  // namespace

TestPicture diagnosticTestPicture() {
    TestPicture picture{192, 96, std::string(192 / 8 * 96, '\0')};
    auto set = [&](int x, int y) {
        picture.rows[y * (picture.width / 8) + x / 8] |= static_cast<char>(0x80 >> (x % 8));
    };
    for (int x = 0; x < picture.width; ++x) set(x, 0), set(x, picture.height - 1);
    for (int y = 0; y < picture.height; ++y) set(0, y), set(picture.width - 1, y);
    // Checkers of 1, 2 and 4 dots, then a diagonal.
    for (int square = 0; square < 3; ++square) {
        const int size = 1 << square, left = 4 + square * 36;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if ((x / size + y / size) % 2 == 0) set(left + x, 4 + y);
    }
    for (int i = 0; i < 32; ++i) set(112 + i, 4 + i), set(113 + i, 4 + i);
    // A ramp from white to black, ordered dithering.
    const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int y = 40; y < 56; ++y)
        for (int x = 4; x < 188; ++x)
            if ((x - 4) * 17 / 184 > bayer[y % 4][x % 4]) set(x, y);
    // Large lettering "TEST", 5 × 7 glyphs at four times.
    const char* glyphs[3][7] = {
        {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."},
        {"#####", "#....", "#....", "####.", "#....", "#....", "#####"},
        {".####", "#....", "#....", ".###.", "....#", "....#", "####."},
    };
    const int letters[] = {0, 1, 2, 0};
    for (int letter = 0; letter < 4; ++letter)
        for (int row = 0; row < 7; ++row)
            for (int column = 0; column < 5; ++column)
                if (glyphs[letters[letter]][row][column] == '#')
                    for (int dy = 0; dy < 4; ++dy)
                        for (int dx = 0; dx < 4; ++dx)
                            set(48 + letter * 24 + column * 4 + dx, 62 + row * 4 + dy);
    return picture;
}

bool TestPicture::black(int x, int y) const {
    return (static_cast<unsigned char>(rows[y * (width / 8) + x / 8]) >> (7 - x % 8)) & 1;
}

namespace {

// Column data for ESC *: `dotsTall` (8 or 24) rows from `top`, a column at a time.
std::string columns(const TestPicture& picture, int top, int dotsTall) {
    std::string out;
    for (int x = 0; x < picture.width; ++x)
        for (int part = 0; part < dotsTall / 8; ++part) {
            int bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                bits = bits << 1 | picture.black(x, top + part * 8 + bit);
            out += byte(bits);
        }
    return out;
}

void images(Page& page) {
    const TestPicture picture = diagnosticTestPicture();
    const int rowBytes = picture.width / 8;
    const std::string raster = "\x1D\x76\x30" + byte(0) + little(rowBytes) + little(picture.height);
    page.text(u8"GS v 0 光栅位图: " + u8(hex(raster)));
    page.bytes += raster + picture.rows;
    page.ascii("");
    for (const int m : {33, 0}) {
        const int tall = m == 33 ? 24 : 8;
        const std::string band = "\x1B\x2A" + byte(m) + little(picture.width);
        page.text(m == 33 ? u8"ESC * 33 24点双密度:" : u8"ESC * 0 8点单密度(宽一倍):");
        page.ascii("1B 33 18 " + hex(band) + " ... 0A x" + std::to_string(picture.height / tall));
        page.bytes += std::string("\x1B\x33\x18", 3);
        for (int top = 0; top < picture.height; top += tall)
            page.bytes += band + columns(picture, top, tall) + "\n";
        page.bytes += std::string("\x1B\x32", 2);
        page.ascii("");
    }
    const std::string store = "\x1D\x28\x4C" + little(10 + int(picture.rows.size())) +
                              "\x30\x70\x30\x01\x01\x31" + little(picture.width) +
                              little(picture.height);
    const std::string print("\x1D\x28\x4C\x02\x00\x30\x32", 7);
    page.text(u8"GS ( L 功能112与50: " + u8(hex(store)) + u8" ... " + u8(hex(print)));
    page.bytes += store + picture.rows + print;
    page.ascii("");
}

}  // namespace

namespace {

void barcodes(Page& page) {
    page.bytes += std::string("\x1D\x48\x02\x1D\x68\x50\x1D\x77\x02", 9);
    page.ascii("1D 48 02 1D 68 50 1D 77 02 (HRI below)");
    for (const DiagnosticBarcode& code : diagnosticBarcodes()) {
        const std::string command = "\x1D\x6B" + byte(code.m) + byte(int(code.data.size()));
        page.ascii("GS k " + std::to_string(code.m) + " " + std::string(code.symbology) + ": " +
                   std::string(code.data));
        page.ascii(hex(command) + " + data");
        page.bytes += command + std::string(code.data) + "\n";
    }
    auto symbol = [&](std::string_view name, std::string settings, int cn, std::string_view data) {
        const std::string store = "\x1D\x28\x6B" + little(int(data.size()) + 3) + byte(cn) +
                                  "\x50\x30" + std::string(data);
        const std::string print = std::string("\x1D\x28\x6B\x03\x00", 5) + byte(cn) + "\x51\x30";
        page.ascii(std::string(name) + ": " + std::string(data));
        page.ascii(hex(settings));
        page.ascii(hex(store.substr(0, 8)) + " + data, " + hex(print));
        page.bytes += settings + store + print + "\n";
    };
    const std::string model2("\x1D\x28\x6B\x04\x00\x31\x41\x32\x00", 9);
    const std::string levelM("\x1D\x28\x6B\x03\x00\x31\x45\x31", 8);
    for (const int module : {3, 6})
        symbol("GS ( k QR model 2, module " + std::to_string(module),
               model2 + std::string("\x1D\x28\x6B\x03\x00\x31\x43", 7) + byte(module) + levelM, 49,
               module == 3 ? "DIAG-QR-3" : "DIAG-QR-6");
    symbol("GS ( k PDF417",
           std::string("\x1D\x28\x6B\x03\x00\x30\x41\x00\x1D\x28\x6B\x03\x00\x30\x43\x02", 16), 48,
           "DIAG-PDF417");
    symbol("GS ( k DataMatrix", std::string("\x1D\x28\x6B\x03\x00\x36\x43\x04", 8), 54,
           "DIAG-DATAMATRIX");
}

void layout(Page& page) {
    page.sample(std::string("\x1B\x4D\x00", 3), u8"ESC M 0 字体A", u8"Font A 12x24 汉字", "");
    page.sample(std::string("\x1B\x4D\x01", 3), u8"ESC M 1 字体B", u8"Font B 9x17 ABCabc",
                std::string("\x1B\x4D\x00", 3));
    for (const int size : {1, 2, 3, 4, 8}) {
        const int n = (size - 1) * 0x11;
        page.sample("\x1D\x21" + byte(n), u8"GS ! " + u8(std::to_string(size)) + u8"倍",
                    size == 8 ? u8"A汉" : u8"Ab汉", std::string("\x1D\x21\x00", 3));
    }
    const struct {
        std::string on, off;
        std::u8string_view name;
    } styles[] = {
        {"\x1B\x45\x01", std::string("\x1B\x45\x00", 3), u8"ESC E 加粗"},
        {"\x1B\x47\x01", std::string("\x1B\x47\x00", 3), u8"ESC G 重叠打印"},
        {"\x1B\x2D\x01", std::string("\x1B\x2D\x00", 3), u8"ESC - 1 下划线1点"},
        {"\x1B\x2D\x02", std::string("\x1B\x2D\x00", 3), u8"ESC - 2 下划线2点"},
        {"\x1D\x42\x01", std::string("\x1D\x42\x00", 3), u8"GS B 反白"},
        {"\x1B\x56\x01", std::string("\x1B\x56\x00", 3), u8"ESC V 旋转90度"},
        {"\x1B\x7B\x01", std::string("\x1B\x7B\x00", 3), u8"ESC { 倒置"},
    };
    for (const auto& style : styles) page.sample(style.on, style.name, u8"ABCabc 汉字", style.off);
    for (const auto& [n, name] :
         {std::pair{0, u8"ESC a 0 左对齐"}, {1, u8"ESC a 1 居中"}, {2, u8"ESC a 2 右对齐"}}) {
        page.bytes += hex("\x1B\x61" + byte(n)) + " " + toGbk(name) + "\n";
        page.bytes +=
            "\x1B\x61" + byte(n) + toGbk(u8"对齐") + "\n" + std::string("\x1B\x61\x00", 3);
    }
    // A ruler of 576 dots: a tick each millimetre, longer ones each 5 and 10; a 58 mm printer
    // prints only its first 384 dots (48 mm).
    const int width = 576, height = 24;
    std::string rows(width / 8 * height, '\0');
    for (int x = 0; x < width; x += 8) {
        const int tick = x % 80 == 0 ? 24 : x % 40 == 0 ? 16 : 8;
        for (int y = 0; y < tick; ++y) rows[y * (width / 8) + x / 8] |= char(0x80);
    }
    for (int x = 0; x < width; ++x)
        rows[(height - 1) * (width / 8) + x / 8] |= char(0x80 >> (x % 8));
    page.text(u8"标尺: 每格1毫米(8点)，长刻度10毫米。");
    page.text(u8"58毫米纸印到48毫米(384点)，80毫米纸印到72毫米(576点)。");
    const std::string raster = "\x1D\x76\x30" + byte(0) + little(width / 8) + little(height);
    page.ascii(hex(raster));
    page.bytes += raster + rows;
    // Each number under its long tick, placed by ESC $ in dots.
    for (int mm = 0; mm < 70; mm += 10)
        page.bytes += "\x1B\x24" + little(mm * 8) + std::to_string(mm);
    page.ascii(" mm");
    // Density: solid black beside 1-dot checkers.
    std::string density(384 / 8 * 48, '\0');
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 384 / 8; ++x)
            density[y * 48 + x] = x < 16   ? char(0xFF)
                                  : x < 32 ? (y % 2 ? char(0x55) : char(0xAA))
                                           : (y % 4 < 2 ? char(0x33) : char(0xCC));
    const std::string checker = "\x1D\x76\x30" + byte(0) + little(48) + little(48);
    page.text(u8"浓度: 全黑、1点棋盘、2点棋盘 " + u8(hex(checker)));
    page.bytes += checker + density;
    page.ascii("");
}

void selftest(Page& page) {
    const std::string command("\x1D\x28\x41\x02\x00\x00\x02", 7);
    page.text(u8"打印机打印自己的状态页，然后复位。");
    page.text(u8(hex(command)) + u8" GS ( A 自检");
    page.bytes += command;
}

void hexdump(Page& page) {
    const std::string command("\x1D\x28\x41\x02\x00\x00\x01", 7);
    page.text(u8"此后打印机把收到的一切按十六进制打印，");
    page.text(u8"可看收银软件实际发送的内容。");
    page.text(u8"关机或按FEED键(有的机型连按三次)退出。");
    page.text(u8(hex(command)) + u8" GS ( A 十六进制");
    page.bytes += command + "HEX\n";
}

}  // namespace

std::span<const DiagnosticBarcode> diagnosticBarcodes() {
    static const DiagnosticBarcode codes[] = {
        {65, "UPC-A", "036000291452"},   {66, "UPC-E", "042100005264"},
        {67, "EAN-13", "4006381333931"}, {68, "EAN-8", "96385074"},
        {69, "CODE39", "DIAG-39"},       {70, "ITF", "1234567890"},
        {71, "CODABAR", "A40156B"},      {72, "CODE93", "DIAG93"},
        {73, "CODE128", "{BDiag-128"},
    };
    return codes;
}

std::span<const DiagnosticPageInfo> diagnosticPages() {
    return pages;
}

const DiagnosticPageInfo* findDiagnosticPage(std::string_view key) {
    for (const DiagnosticPageInfo& info : pages)
        if (info.key == key) return &info;
    return nullptr;
}

std::string diagnosticPageStream(DiagnosticPage page, const PageHeading& heading) {
    Page built = begin(pages[static_cast<int>(page)], heading);
    void (*const body[])(Page&) = {charset, codepages, images, barcodes, layout, selftest, hexdump};
    body[static_cast<int>(page)](built);
    return end(built);
}

bool DiagnosticPageJob(JobHost& host, DiagnosticPage page, std::string* printedAt) {
    return RunJob(host, [&] {
        if (!PortCheck(host)) return false;
        if (page == DiagnosticPage::Hexdump)
            host.showInformation(
                noticeTitle,
                "十六进制模式：打印机此后把收到的所有数据按十六进制打印，不再执行命令，"
                "可用来查看收银软件实际发送的内容。多数打印机关机再开机即退出；"
                "有的按一下FEED键(或连按三次)退出。");
        if (page == DiagnosticPage::Selftest)
            host.showInformation(noticeTitle, "打印机将打印自己的状态页(自检页)，然后自动复位。");
        host.pumpEvents();
        const std::string portName = host.portName();
        PrinterPort port(host);
        port.openRaw(portName);
        const std::string time = localTimeNow("%Y-%m-%d %H:%M:%S");
        port.write(diagnosticPageStream(page, {portName, time}));
        port.close();
        if (printedAt) *printedAt = time;
        return true;
    });
}
