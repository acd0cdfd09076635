#pragma once

#include <span>
#include <string>
#include <string_view>

class JobHost;

// Test pages for what really goes wrong with a Chinese-ROM receipt printer: each one shows at a
// glance which of its causes a printer has. Plain functions build each page's bytes; printing
// one is a job like every other.
enum class DiagnosticPage {
    Charset,    // the character ROM: GB2312, GBK, GB18030, Kanji mode on and off
    Codepages,  // the code tables of ESC t and the national characters of ESC R
    Images,     // one picture by each image command
    Barcodes,   // each GS k symbology and the GS ( k symbols
    Layout,     // fonts, sizes, styles, alignment, the printing area's width, density
    Selftest,   // the printer's own status printout
    Hexdump,    // the printer's hex dump mode
};

struct DiagnosticPageInfo {
    DiagnosticPage page;
    std::string_view key;        // the command line's name for it: "charset"
    std::string_view name;       // the window's: "字符集"
    std::string_view howToRead;  // one line: what it shows and how to read the paper
};

// Every page, in the order the diagnosis window lists them.
std::span<const DiagnosticPageInfo> diagnosticPages();
// The page of that command-line name, or none.
const DiagnosticPageInfo* findDiagnosticPage(std::string_view key);

// What a page's heading names besides its title: the port as typed and when it was printed
// ("2026-12-08 19:05:31").
struct PageHeading {
    std::string port;
    std::string printedAt;
};

// The images page's picture, drawn here dot by dot: a frame, checkers of 1, 2 and 4 dots, a
// diagonal, a dithered ramp and large lettering. Rows as GS v 0 takes them, 1 for black.
struct TestPicture {
    int width = 0, height = 0;
    std::string rows;
    bool black(int x, int y) const;
};
TestPicture diagnosticTestPicture();

// The barcodes page's GS k codes: m (the counted form), the type and the data sent.
struct DiagnosticBarcode {
    int m;
    std::string_view symbology;
    std::string_view data;
};
std::span<const DiagnosticBarcode> diagnosticBarcodes();

// The bytes of one page, from its ESC @ to its cut.
std::string diagnosticPageStream(DiagnosticPage page, const PageHeading& heading);

// Prints one page on the port named by the host's selector, as every job does: the port check,
// the waits, the failure box. Tells whether the whole page went out; `printedAt`, when given,
// gets the time in the page's heading.
bool DiagnosticPageJob(JobHost& host, DiagnosticPage page, std::string* printedAt = nullptr);
