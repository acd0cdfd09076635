#include <gtest/gtest.h>

#include <iconv.h>

#include <sstream>

#include "diagnostic_pages.h"
#include "fake_host.h"
#include "temp_files.h"

namespace {

const PageHeading heading{"/dev/ttyUSB0", "2026-12-08 19:05:31"};

// Every page starts from a reset printer, names its port and time, ends cut, and writes nothing
// the printer keeps: no NV graphics (GS ( L fn 67), NV bit images (FS q), memory switches
// (GS ( E) or user-defined characters (ESC &).
TEST(DiagnosticPages, EachBeginsResetEndsCutAndKeepsNothing) {
    for (const DiagnosticPageInfo& info : diagnosticPages()) {
        SCOPED_TRACE(std::string(info.key));
        EXPECT_EQ(findDiagnosticPage(info.key), &info);
        const std::string page = diagnosticPageStream(info.page, heading);
        EXPECT_EQ(page.rfind("\x1B\x40", 0), 0u);
        EXPECT_EQ(page.substr(page.size() - 6), bytesFromHex("1B 64 04 1D 56 01"));
        EXPECT_NE(page.find(heading.port), std::string::npos);
        EXPECT_NE(page.find(heading.printedAt), std::string::npos);
        for (const char* kept : {"1D 28 4C 00 00 30 43", "1C 71", "1D 28 45", "1B 26"})
            EXPECT_EQ(page.find(bytesFromHex(kept)), std::string::npos) << kept;
    }
    EXPECT_EQ(findDiagnosticPage("nosuch"), nullptr);
}

// Each page byte for byte as tests/printer/data/<name>_page.hex writes it out.
TEST(DiagnosticPages, EachPageIsTheStreamInTheTestData) {
    for (const DiagnosticPageInfo& info : diagnosticPages()) {
        std::istringstream rows(
            readFile(std::string(TEST_DATA_DIR) + "/" + std::string(info.key) + "_page.hex"));
        std::string expected;
        for (std::string row; std::getline(rows, row);)
            if (!row.starts_with("#")) expected += bytesFromHex(row);
        EXPECT_EQ(diagnosticPageStream(info.page, heading), expected) << info.key;
    }
}

// The charset page's GB2312 rows are GB2312 indeed, so that a GB2312-only ROM prints them all.
TEST(DiagnosticPages, TheGb2312RowsAreGb2312) {
    const std::string page = diagnosticPageStream(DiagnosticPage::Charset, heading);
    iconv_t gb2312 = iconv_open("UTF-8", "GB2312");
    ASSERT_NE(gb2312, reinterpret_cast<iconv_t>(-1));
    for (const char* first : {"A1A2", "A2B1", "A3A1", "A4A1", "A5A1", "A6A1", "A7A1", "A8A1",
                              "A9A4", "B0A1", "D7EE", "D8A1", "F7F3"}) {
        const std::size_t at = page.find(std::string(first) + " ");
        ASSERT_NE(at, std::string::npos) << first;
        std::string row = page.substr(at + 5, 24);
        EXPECT_EQ(row.substr(0, 2), bytesFromHex(std::string(first, 2) + " " + (first + 2)));
        char out[128];
        char* in = row.data();
        char* to = out;
        std::size_t inLeft = row.size(), outLeft = sizeof out;
        EXPECT_NE(iconv(gb2312, &in, &inLeft, &to, &outLeft), static_cast<std::size_t>(-1))
            << first;
    }
    iconv_close(gb2312);
    EXPECT_NE(page.find(bytesFromHex("81 39 EE 39")), std::string::npos);  // U+3400
    EXPECT_NE(page.find(bytesFromHex("95 32 82 36")), std::string::npos);  // U+20000
}

// The four image commands carry the same picture.
TEST(DiagnosticPages, TheImagesPageSendsOnePictureFourWays) {
    const TestPicture picture = diagnosticTestPicture();
    ASSERT_EQ(picture.rows.size(), std::size_t(picture.width / 8 * picture.height));
    const std::string page = diagnosticPageStream(DiagnosticPage::Images, heading);
    const std::size_t first = page.find(picture.rows);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(page.find(picture.rows, first + 1), std::string::npos) << "GS ( L";
    // ESC * 33: the first band's first column is the frame's left edge, 24 dots black.
    EXPECT_NE(page.find(bytesFromHex("1B 2A 21 C0 00 FF FF FF")), std::string::npos);
    EXPECT_NE(page.find(bytesFromHex("1B 2A 00 C0 00 FF")), std::string::npos);
}

// Hex dump and self-test tell the technician first what the printer will do.
TEST(DiagnosticPages, HexDumpAndSelfTestWarnBeforeWriting) {
    for (const DiagnosticPage page : {DiagnosticPage::Hexdump, DiagnosticPage::Selftest}) {
        TempDir dir;
        FakeHost host;
        host.port = dir.path("port");
        writeFile(host.port, "");
        EXPECT_TRUE(DiagnosticPageJob(host, page));
        ASSERT_EQ(host.boxes.size(), 1u);
        EXPECT_FALSE(host.boxes[0].critical);
        EXPECT_NE(host.boxes[0].text.find(page == DiagnosticPage::Hexdump ? "FEED" : "复位"),
                  std::string::npos);
        EXPECT_NE(readFile(host.port).find(bytesFromHex("1D 28 41 02 00 00")), std::string::npos);
    }
}

}  // namespace
