#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "character_sets.h"
#include "escpos_decoder.h"
#include "printer_engine.h"
#include "printer_replies.h"
#include "sample_streams.h"
#include "temp_files.h"
#include "two_d_symbols.h"

namespace {

using vp::Decoder;
using vp::Paper;

std::string decode(const std::string& bytes, Paper paper = Paper::millimetres80()) {
    vp::RecordingSink sink;
    Decoder decoder(paper, sink);
    decoder.feed(bytes);
    decoder.finish();
    return describe(sink.takeItems());
}

// Bytes given as hex pairs, with GBK text in quotes: `1B 21 2D "中" 0A`.
std::string stream(const std::string& pattern) {
    std::string bytes, hex;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '"') {
            hex += pattern[i];
            continue;
        }
        const std::size_t end = pattern.find('"', i + 1);
        bytes += bytesFromHex(hex) + gbk(pattern.substr(i + 1, end - i - 1));
        hex.clear();
        i = end;
    }
    return bytes + bytesFromHex(hex);
}

struct Case {
    std::string name;
    std::string bytes;
    std::string printed;
};

// What a printer makes of each command, dot for dot.
const Case cases[] = {
    {"text and line feed", "41 42 0A", R"(line 30/24 a@0/12"AB")"},
    {"CR LF feeds once", "41 0D 0A 42 0D 0A", "line 30/24 a@0/12\"A\"\nline 30/24 a@0/12\"B\""},
    {"banner ESC ! 2D: font B, emphasised, double width, bit 2 ignored", "1B 21 2D 41 0A",
     R"(line 30/17 bE2x1@0/18"A")"},
    {"ESC ! sizes only single-byte characters but emphasises both", "1B 21 38 41 \"中\" 0A",
     R"(line 48/48 aE2x2@0/24"A" kE@24/24"中")"},
    {"FS ! 38 is double height only", "1C 21 38 \"中\" 0A", R"(line 48/48 k1x2@0/24"中")"},
    {"FS ! 2D is double width and height", "1C 21 2D \"中\" 41 0A",
     R"(line 48/48 k2x2@0/48"中" a@48/12"A")"},
    {"FS ! bit 7 underlines Chinese", "1C 21 80 \"中\" 0A", R"(line 30/24 kU1@0/24"中")"},
    {"GS ! enlarges both kinds", "1D 21 12 41 \"中\" 0A",
     R"(line 72/72 a2x3@0/24"A" k2x3@24/48"中")"},
    {"style changes mid-line", "41 1B 45 01 42 1B 2D 02 43 1B 45 00 1B 2D 00 44 0A",
     R"(line 30/24 a@0/12"A" aE@12/12"B" aEU2@24/12"C" a@36/12"D")"},
    {"ESC M font B, reverse", "1B 4D 01 1D 42 01 41 0A", R"(line 30/17 bR@0/9"A")"},
    {"ESC SP right spacing", "1B 20 03 41 41 0A", R"(line 30/24 a@0/15"AA")"},
    {"FS S spacing around Chinese", "1C 53 02 04 \"中中\" 0A", R"(line 30/24 k@0/30"中中")"},
    {"centred", "1B 61 01 41 42 0A", R"(line 30/24 a@276/12"AB")"},
    {"alignment waits for the next line", "41 1B 61 32 42 0A 43 0A",
     "line 30/24 a@0/12\"AB\"\nline 30/24 a@564/12\"C\""},
    {"tab stops every eight font A characters", "41 09 42 0A",
     R"(line 30/24 a@0/12"A" a@96/12"B")"},
    {"ESC $ absolute position", "1B 24 64 00 41 0A", R"(line 30/24 a@100/12"A")"},
    // Found by fuzzing: moving back on a centred line pushed its start off the paper.
    {"ESC $ back on a centred line", "1B 61 01 \"" + std::string(40, 'A') + "\" 1B 24 00 00 42 0A",
     "line 30/24 a@48/12\"" + std::string(40, 'A') + "\" a@48/12\"B\""},
    {"ESC \\ moves right and left of the position", "41 1B 5C 0C 00 42 1B 5C E8 FF 43 0A",
     R"(line 30/24 a@0/12"A" a@24/12"B" a@12/12"C")"},
    {"positions outside the printing area are ignored", "1B 5C F4 FF 1D 57 40 00 1B 24 80 00 41 0A",
     R"(line 30/24 a@0/12"A")"},
    {"GS L and GS W make the printing area, alignment centres in it",
     "1D 4C 10 00 1D 57 40 01 1B 61 01 41 0A", R"(line 30/24 a@170/12"A")"},
    {"text wraps at the printing area's width", "1D 4C 0C 00 1D 57 18 00 41 41 41 0A",
     "line 30/24 a@12/12\"AA\"\nline 30/24 a@12/12\"A\""},
    {"GS L only at the beginning of a line", "41 1D 4C 10 00 42 0A",
     "event left margin ignored: not at the beginning of a line, 1D 4C 10 00\n"
     "line 30/24 a@0/12\"AB\""},
    {"a position prints nothing: a barcode may follow", "1B 24 10 00 1D 6B 49 03 7B 42 31",
     R"(barcode CODE128 x30 w138 h162 "1")"},
    {"ESC d feeds lines, ESC J dots", "41 1B 64 03 1B 4A 50", "line 90/24 a@0/12\"A\"\nline 80/0"},
    {"ESC 3 line spacing, ESC 2 back to 30", "1B 33 40 41 0A 1B 32 0A",
     "line 64/24 a@0/12\"A\"\nline 30/0"},
    {"Kanji mode off: code table PC437, then back on", "1C 2E B0 A1 0A 1C 26 B0 A1 0A",
     "line 30/24 a@0/12\"░í\"\nline 30/24 k@0/24\"啊\""},
    {"ESC t selects a code table", "1C 2E 1B 74 10 80 0A",
     "event code table 16\nline 30/24 a@0/12\"€\""},
    {"ESC R replaces twelve ASCII characters, in Kanji mode too", "1B 52 02 40 5B 7E \"中\" 0A",
     "event international character set 2\nline 30/24 a@0/12\"§Äß\" k@36/24\"中\""},
    {"ESC R with a set it does not have", "1B 52 12 0A", "event invalid 1B 52 12\nline 30/0"},
    {"Katakana table: box drawing and kana", "1C 43 30 1C 2E 1B 74 01 98 95 99 B1 0A",
     "event Kanji code system 1C 43 30\nevent code table 1\nline 30/24 a@0/12\"┌─┐ｱ\""},
    {"FS ( A selects the Kanji font: nothing to draw", "1C 28 41 02 00 30 00",
     "event Kanji character font 1C 28 41 02 00 30 00"},
    {"ESC @ resets modes and discards an unprinted line", "1B 21 01 41 1B 40 42 0A",
     "event ESC @ discarded a line that had not been printed\nline 30/24 a@0/12\"B\""},
    {"partial cut, ESC i", "1B 69", "event cut partial\ncut partial"},
    {"partial cut, ESC m", "1B 6D", "event cut partial\ncut partial"},
    {"full cut, GS V 0", "1D 56 00", "event cut full\ncut full"},
    {"partial cut, GS V '1'", "1D 56 31", "event cut partial\ncut partial"},
    {"feed and cut, GS V 66 n", "1D 56 42 10", "line 16/0\nevent cut partial\ncut partial"},
    {"cut ignored after text without line feed", "41 1B 69 0A",
     "event cut ignored: not at the beginning of a line, 1B 69\nline 30/24 a@0/12\"A\""},
    {"drawer pulse", "1B 70 00 80 80", "event drawer pin 2 on 256 ms off 256 ms"},
    {"drawer pulse off time no shorter than on time", "1B 70 31 32 0A",
     "event drawer pin 5 on 100 ms off 100 ms"},
    {"drawer pulse with a bad pin", "1B 70 07 0A", "event invalid 1B 70 07\nline 30/0"},
    {"real-time requests that are none: DLE EOT 5, DLE ENQ 3, DLE DC4 1 with pin 2",
     "10 04 05 10 05 03 10 14 01 02 01",
     "event invalid 10 04 05\nevent invalid 10 05 03\nevent invalid 10 14 01 02 01"},
    {"unknown command", "1B 7A 41 0A", "event unknown 1B 7A\nline 30/24 a@0/12\"A\""},
    {"unknown control byte", "07 0A", "event unknown 07\nline 30/0"},
    {"a picture right after a command the printer does not know prints",
     "1B 7A 1D 76 30 00 01 00 01 00 FF", "event unknown 1B 7A\nimage x0 8x1"},
    {"other dialects' commands are passed over with their parameters, a QR code after them prints",
     "1B 34 41 1B 35 0A 1B 42 03 02 12 23 4A 12 54 12 2A 02 01 FF 00 "
     "1D 28 6B 06 00 31 50 30 41 42 43 1D 28 6B 03 00 31 51 30",
     "event ESC/P italic on passed over, 1B 34\nevent ESC/P italic off passed over, 1B 35\n"
     "line 30/24 a@0/12\"A\"\nevent beeper passed over, 1B 42 03 02\n"
     "event DC2 print density passed over, 12 23 4A\nevent DC2 test page passed over, 12 54\n"
     "event DC2 bitmap passed over, 12 2A 02 01 (2 data bytes)\nimage x0 63x63 (3x3)"},
    {"GS P: ESC 3, ESC J, ESC $ and GS L in units of 1/102 inch, then the defaults again",
     "1D 50 66 66 1B 33 0F 1D 4C 05 00 1B 24 0A 00 41 0A 1B 4A 14 1D 50 00 00 1B 33 0F 42 0A",
     "event motion units 1D 50 66 66\nline 29/24 a@28/12\"A\"\nline 39/0\n"
     "event motion units 1D 50 00 00\nline 24/24 a@9/12\"B\""},
    {"parameter out of range", "1D 21 88 0A", "event invalid 1D 21 88\nline 30/0"},
    {"known command without effect on paper", "1D 62 01 1B 25 00",
     "event smoothing 1D 62 01\nevent user-defined characters 1B 25 00"},
    {"known command not drawn", "1B 25 01 0A",
     "event not drawn: user-defined characters 1B 25 01\nline 30/21 m@0/78\"1B 25 01\""},
    {"raster image", "1D 76 30 00 02 00 03 00 AA BB CC DD EE FF 41 0A",
     "image x0 16x3\nline 30/24 a@0/12\"A\""},
    {"raster image double width, then quadruple",
     "1D 76 30 01 01 00 02 00 FF 00 1D 76 30 33 01 00 01 00 FF",
     "image x0 16x2 (2x1)\nimage x0 16x2 (2x2)"},
    {"raster image centred", "1B 61 01 1D 76 30 00 02 00 01 00 FF FF", "image x280 16x1"},
    {"raster image after a position, cut at the paper's edge",
     "1B 24 38 02 1D 76 30 00 02 00 01 00 FF FF", "image x568 8x1"},
    {"raster image after text is ignored", "41 1D 76 30 00 01 00 01 00 FF 0A",
     "event raster bit image ignored: not at the beginning of a line\nline 30/24 a@0/12\"A\""},
    {"raster image with a bad mode", "1D 76 30 04 01 00 01 00 0A",
     "event invalid 1D 76 30 04 01 00 01 00\nline 30/0"},
    {"bit images of each density in one line, after text",
     "41 1B 2A 00 02 00 FF 01 1B 2A 01 01 00 FF 1B 2A 20 01 00 FF FF FF 1B 2A 21 02 00 "
     "FF FF FF 00 00 01 0A",
     "line 30/24 a@0/12\"A\" i@12/4x24 (2x3) i@16/1x24 (1x3) i@17/2x24 (2x1) i@19/2x24"},
    {"bit image centred with its line",
     "1B 61 01 1B 2A 21 04 00 FF FF FF FF FF FF FF FF FF FF FF FF 0A", "line 30/24 i@286/4x24"},
    {"bit image columns beyond the line's end are not printed",
     "1B 24 3E 02 1B 2A 00 03 00 FF FF FF 0A", "line 30/24 i@574/2x24 (2x3)"},
    {"bit image with a bad mode", "1B 2A 02 01 00 0A", "event invalid 1B 2A 02 01 00\nline 30/0"},
    {"GS ( L: raster graphics into the print buffer, then printed",
     "1D 28 4C 0C 00 30 70 30 01 01 31 08 00 02 00 FF 81 1D 28 4C 02 00 30 32", "image x0 8x2"},
    {"GS 8 L: the same with a four-byte length, doubled and centred",
     "1B 61 01 1D 38 4C 0B 00 00 00 30 70 30 02 02 31 08 00 01 00 FF 1D 28 4C 02 00 30 32",
     "image x280 16x2 (2x2)"},
    {"GS ( L: column graphics ten dots tall",
     "1D 28 4C 0E 00 30 71 30 01 01 31 02 00 0A 00 FF C0 00 00 "
     "1D 28 4C 02 00 30 32",
     "image x0 2x10"},
    {"GS ( L: NV graphics survive ESC @ and print by their key code",
     "1D 28 4C 0D 00 30 43 30 41 31 01 08 00 02 00 31 F0 0F 1B 40 1D 28 4C 06 00 30 45 41 31 02 01 "
     "1D 28 4C 06 00 30 45 41 32 01 01",
     "event NV graphics \"A1\" defined, 8 x 2 dots\nimage x0 16x2 (2x1)\n"
     "event graphics \"A2\" not defined: nothing printed"},
    {"GS ( L: data that does not match its size",
     "1D 28 4C 0B 00 30 70 30 01 01 31 08 00 02 00 FF 0A",
     "event invalid 1D 28 4C 0B 00 30 70 30 01 01 31 08 00 02 00 FF\nline 30/0"},
    {"GS ( L: a capacity request prints nothing", "1D 28 4C 02 00 30 30",
     "event graphics function 48 passed over, 1D 28 4C 02 00 30 30"},
    {"GS ( L: deleting a graphic without its key code is invalid, the text after it prints",
     "1D 28 4C 02 00 30 52 \"SE\" 0A",
     "event invalid 1D 28 4C 02 00 30 52\nline 30/24 a@0/12\"SE\""},
    {"GS * and GS /: a downloaded bit image, quadruple, forgotten at ESC @",
     "1D 2A 01 01 FF 00 FF 00 FF 00 FF 00 1D 2F 33 1B 40 1D 2F 00",
     "event downloaded bit image defined, 8 x 8 dots\nimage x0 16x16 (2x2)\n"
     "event no downloaded bit image: nothing printed"},
    {"FS q and FS p: NV bit images by number",
     "1C 71 02 01 00 01 00 FF FF FF FF FF FF FF FF 01 00 02 00 00 01 02 03 04 05 06 07 08 09 0A "
     "0B 0C 0D 0E 0F 1C 70 02 30 1C 70 03 00",
     "event 2 NV bit images defined\nimage x0 8x16\n"
     "event NV bit image 3 not defined: nothing printed"},
    {"a picture after text is ignored", "41 1D 2A 01 01 FF FF FF FF FF FF FF FF 1D 2F 00 0A",
     "event downloaded bit image defined, 8 x 8 dots\n"
     "event downloaded bit image ignored: not at the beginning of a line\nline 30/24 a@0/12\"A\""},
    {"GS ( k: a QR code of 21 modules, 4 dots each, centred",
     "1B 61 01 1D 28 6B 03 00 31 43 04 1D 28 6B 06 00 31 50 30 41 42 43 1D 28 6B 03 00 31 51 30",
     "image x246 84x84 (4x4)"},
    {"GS ( k: its size answered, not printed",
     "1D 28 6B 06 00 31 50 30 41 42 43 1D 28 6B 03 00 31 52 30",
     "event replied 37 36 36 33 1F 36 33 1F 31 1F 30 00 to QR Code size information"},
    {"GS ( k: PDF417 of 2 columns, modules 2 dots wide, rows 3 modules tall",
     "1D 28 6B 03 00 30 41 02 1D 28 6B 03 00 30 43 02 1D 28 6B 03 00 30 44 03 "
     "1D 28 6B 06 00 30 50 30 41 42 43 1D 28 6B 03 00 30 51 30",
     "image x0 206x24 (2x6)"},
    {"GS ( k: a rectangular DataMatrix",
     "1D 28 6B 05 00 36 41 31 12 08 1D 28 6B 06 00 36 50 30 41 42 43 "
     "1D 28 6B 03 00 36 51 30",
     "image x0 54x24 (3x3)"},
    {"GS ( k: printing with no data stored", "1D 28 6B 03 00 31 51 30 0A",
     "event QR Code not printed: no data stored\nline 30/0"},
    {"GS ( k: a symbol wider than the printing area",
     "1D 57 40 00 1D 28 6B 03 00 31 43 08 "
     "1D 28 6B 04 00 31 50 30 41 1D 28 6B 03 00 31 51 30",
     "event QR Code not printed: 168 dots wider than the printing area"},
    {"GS ( k: a module size out of range", "1D 28 6B 03 00 31 43 11 0A",
     "event invalid 1D 28 6B 03 00 31 43 11\nline 30/0"},
    {"GS ( k: MaxiCode is passed over", "1D 28 6B 03 00 32 41 32",
     "event 2-D symbol 1D 28 6B 03 00 32 41 32"},
    {"stray GBK lead byte keeps the line feed", "C3 0A",
     "event invalid GBK C3 0A\nline 30/21 m@0/24\"C3\""},
    {"byte 80 is no GBK character", "80 0A", "event invalid GBK 80\nline 30/21 m@0/24\"80\""},
    {"truncated command at the end", "1D 6B 49 05 7B 42",
     "event truncated 1D 6B 49 05 7B 42: 3 bytes missing"},
    {"truncated data at the end", "1B 2A 00 05 00 01",
     "event truncated 1B 2A 00 05 00 01: 4 bytes missing"},
    {"the tester's barcode job", barcodeJobHex,
     "line 30/0\nbarcode CODE128 x30 w204 h50 \"123\"\nline 30/0"},
    {"CODE128 code set C takes pairs of digits as bytes", "1D 6B 49 04 7B 43 0C 22",
     R"(barcode CODE128 x30 w171 h162 "1234")"},
    {"EAN-13 in the NUL form, check digit added, text below",
     "1D 48 02 1D 6B 02 \"400638133393\" 00", R"(barcode EAN-13 x33 w285 h190 "4006381333931")"},
    {"EAN-13 with its 13 digits ends without NUL", "1D 6B 02 \"4006381333931\" 00 0A",
     "barcode EAN-13 x33 w285 h162 \"4006381333931\"\nline 30/0"},
    {"CODE39 with start and stop added, module width 2", "1D 77 02 1D 6B 45 03 \"ABC\"",
     R"(barcode CODE39 x20 w143 h162 "*ABC*")"},
    {"CODE39 in the NUL form, stars sent", "1D 6B 04 \"*AB*\" 00",
     R"(barcode CODE39 x30 w177 h162 "*AB*")"},
    {"barcode centred", "1B 61 01 1D 6B 49 05 7B 42 31 32 33",
     R"(barcode CODE128 x186 w204 h162 "123")"},
    {"EAN-13 with a wrong check digit", "1D 6B 43 0D \"4006381333932\"",
     "event barcode EAN-13 not printed: check digit 2, should be 1, 1D 6B 43 0D 34 30 30 36 …"},
    {"CODE128 without a code set", "1D 6B 49 02 31 32",
     "event barcode CODE128 not printed: does not start with {A, {B or {C, 1D 6B 49 02 31 32"},
    {"UPC-E of number system 1", "1D 6B 42 07 \"1123456\"",
     "event barcode UPC-E not printed: number system 1, should be 0, 1D 6B 42 07 31 31 32 33 …"},
    {"UPC-A digits that UPC-E cannot suppress", "1D 6B 01 \"01234567890\" 00",
     "event barcode UPC-E not printed: UPC-A digits that do not suppress to UPC-E, 1D 6B 01 30 31 "
     "32 33 34 …"},
    {"ITF: an odd last digit dropped from the NUL form", "1D 6B 05 \"12345\" 00",
     R"(barcode ITF x30 w126 h162 "1234")"},
    {"ITF: the counted form with an odd number of digits", "1D 6B 46 03 \"123\"",
     "event barcode ITF not printed: wants an even number of digits, 1D 6B 46 03 31 32 33"},
    {"CODABAR without its start and stop", "1D 6B 47 03 \"123\"",
     "event barcode CODABAR not printed: does not start and end with A-D or a-d, 1D 6B 47 03 31 32 "
     "33"},
    {"CODABAR with a start inside", "1D 6B 06 \"A1B2A\" 00",
     "event barcode CODABAR not printed: start or stop character B inside, 1D 6B 06 41 31 42 32 41 "
     "…"},
    {"CODE93 takes no byte above 7F", "1D 6B 48 02 41 80",
     "event barcode CODE93 not printed: byte 80 is not in CODE93, 1D 6B 48 02 41 80"},
    {"barcode after text prints as text", "41 1D 6B 49 02 42 43 0A",
     "event barcode ignored: not at the beginning of a line\n"
     "event unknown 02\n"
     "line 30/24 a@0/12\"AIBC\""},
};

TEST(Decoder, DecodesEachCommandAsThePrinterDoes) {
    for (const Case& c : cases) EXPECT_EQ(decode(stream(c.bytes)), c.printed) << c.name;
}

// Lines keep their runs and characters in blocks they share: however the lines fill the
// blocks (a line moved to a new block half made, a line longer than a block, a line
// discarded, characters added to a last run), each printed line reads back as it was made,
// also after the pending runs and the other lines are gone.
TEST(Decoder, PrintedLinesKeepTheirRunsAcrossBlocks) {
    std::vector<vp::LineRuns> printed;
    std::vector<std::vector<std::u32string>> expected;
    {
        vp::PendingRuns pending;
        for (int line = 0; line < 300; ++line) {
            // Every 50th line is long: 150 runs of up to 40 characters, more than a block.
            const int runs = line % 50 == 7 ? 150 : 1 + line % 5;
            std::vector<std::u32string> texts;
            for (int r = 0; r < runs; ++r) {
                std::u32string text(std::size_t(1 + (line * 7 + r * 3) % 40),
                                    char32_t(U'a' + r % 26));
                vp::Run& run = pending.emplace_back(text);
                run.x = r;
                if (r % 4 == 3) {
                    pending.appendToBack(U"汉字");
                    text += U"汉字";
                }
                texts.push_back(text);
            }
            if (line % 9 == 4) {
                pending.clear();  // discarded: nothing of it is kept
                continue;
            }
            printed.push_back(pending.print());
            expected.push_back(texts);
        }
    }
    const vp::LineRuns copied = printed[1];
    for (std::size_t i = 0; i < printed.size(); i += 2) printed[i] = {};
    for (std::size_t i = 1; i < printed.size(); i += 2) {
        ASSERT_EQ(printed[i].size(), expected[i].size()) << "line " << i;
        for (std::size_t r = 0; r < expected[i].size(); ++r) {
            EXPECT_EQ(printed[i][r].text, expected[i][r]) << "line " << i << " run " << r;
            EXPECT_EQ(printed[i][r].x, int(r));
        }
    }
    EXPECT_EQ(copied, printed[1]);
    // A line written whole keeps its own copy of the characters.
    vp::Run run;
    auto text = std::make_unique<std::u32string>(U"1B 7A");
    run.text = *text;
    const vp::LineRuns line{run, run};
    text.reset();
    EXPECT_EQ(line[1].text, U"1B 7A");
}

TEST(Decoder, WrapsAtThePaperWidth) {
    EXPECT_EQ(decode(std::string(49, 'A') + "\n"),
              "line 30/24 a@0/12\"" + std::string(48, 'A') + "\"\nline 30/24 a@0/12\"A\"");
    // 58 mm paper: sixteen Chinese characters to a line; a double-width one that no longer
    // fits starts the next line.
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "中";
    EXPECT_EQ(decode(stream("\"" + sixteen + "中\" 0A"), Paper::millimetres58()),
              "line 30/24 k@0/24\"" + sixteen + "\"\nline 30/24 k@0/24\"中\"");
    EXPECT_EQ(decode(stream("\"" + sixteen.substr(0, 15 * 3) + "\" 1C 21 04 \"中\" 0A"),
                     Paper::millimetres58()),
              "line 30/24 k@0/24\"" + sixteen.substr(0, 15 * 3) + "\"\nline 30/24 k2x1@0/48\"中\"");
}

TEST(Decoder, TheTestersReceiptHasItsBannerLarge) {
    const std::string printed = decode(technicianBannerPhase() + technicianTextPhase());
    EXPECT_EQ(printed.substr(0, printed.find('\n')), "line 48/48 kE2x2@0/48\"溪禾云岫信息\"");
    EXPECT_NE(printed.find("line 30/24 k@0/24\"时期\" b@48/9\":2026-12-08 \" k@156/24\"时间\" "
                           "b@204/9\":09:41:27\""),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("event"), std::string::npos) << printed;
    // The body lines, then four blank lines from the closing 0A 0D 0A 0A 0D 0A.
    EXPECT_NE(printed.find("\"欢迎下次光临！\"\nline 30/17 b@0/9\" \"\nline 30/0\nline 30/0\n"
                           "line 30/0\nline 30/0"),
              std::string::npos)
        << printed;
}

// The dots of the first picture decoded, a row at a time: '#' black, '.' white.
std::string firstBitmap(const std::string& bytes) {
    vp::RecordingSink sink;
    Decoder decoder(Paper::millimetres80(), sink);
    decoder.feed(bytes);
    decoder.finish();
    for (const vp::Item& item : sink.takeItems()) {
        const vp::Bitmap* bitmap = nullptr;
        if (const auto* block = std::get_if<vp::ImageBlock>(&item)) bitmap = &block->bitmap;
        if (const auto* line = std::get_if<vp::PrintedLine>(&item); line && !line->images.empty())
            bitmap = &line->images.front().bitmap;
        if (bitmap == nullptr) continue;
        std::string rows;
        for (int y = 0; y < bitmap->height; ++y) {
            if (y > 0) rows += "/";
            for (int x = 0; x < bitmap->width; ++x) rows += bitmap->black(x, y) ? "#" : ".";
        }
        return rows;
    }
    return "(none)";
}

TEST(Decoder, PicturesKeepTheirDots) {
    const Case cases[] = {
        {"ESC * columns: the top dot is the high bit", "1B 2A 01 02 00 81 40 0A",
         "#./.#/../../../../../#."},
        {"ESC * 24-dot columns: three bytes from the top", "1B 2A 21 02 00 80 00 01 FF 00 00 0A",
         "##/.#/.#/.#/.#/.#/.#/.#/../../../../../../../../../../../../../../../#."},
        {"GS v 0 rows: the left dot is the high bit", "1D 76 30 00 02 00 02 00 F0 0F 01 80",
         "####........####/.......##......."},
        {"GS v 0 dots beyond the paper are left out", "1B 24 38 02 1D 76 30 00 02 00 01 00 F0 0F",
         "####...."},
    };
    for (const Case& c : cases) EXPECT_EQ(firstBitmap(stream(c.bytes)), c.printed) << c.name;
}

std::string rasterHeader(std::size_t rowBytes, std::size_t rows) {
    return bytesFromHex("1D 76 30 00") + char(rowBytes % 256) + char(rowBytes / 256) +
           char(rows % 256) + char(rows / 256);
}

TEST(Decoder, TakesAPictureAsLargeAsTheDataBlockLimitInAnyReads) {
    // The full width of 80 mm paper, as tall as the limit allows.
    const std::size_t rows = Decoder::largestDataBlock / 72;
    std::string bytes = rasterHeader(72, rows);
    for (std::size_t i = 0; i < 72 * rows; ++i) bytes += char(i % 251);
    bytes += "A\n";
    vp::RecordingSink wholeSink;
    Decoder whole(Paper::millimetres80(), wholeSink);
    whole.feed(bytes);
    const std::vector<vp::Item> items = wholeSink.takeItems();
    ASSERT_EQ(describe(items), "image x0 576x" + std::to_string(rows) + "\nline 30/24 a@0/12\"A\"");
    EXPECT_EQ(std::get<vp::ImageBlock>(items[0]).bitmap.rows,
              std::vector<std::uint8_t>(bytes.begin() + 8, bytes.end() - 2));
    std::mt19937 random(3);
    vp::RecordingSink chunkedSink;
    Decoder chunked(Paper::millimetres80(), chunkedSink);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 70000)(random);
        chunked.feed(std::string_view(bytes).substr(at, size));
        at += size;
    }
    EXPECT_EQ(chunkedSink.takeItems(), items);
}

TEST(Decoder, PassesOverLongerDataAsItStreams) {
    // 17 × 61681 bytes: one more than the limit.
    const std::string header = rasterHeader(17, 61681);
    const std::string shown = "1D 76 30 00 11 00 F1 F0";
    const std::string notDrawn = "event not drawn: raster bit image " + shown +
                                 " (1048577 data bytes, more than the 1024 KiB a picture may have)";
    vp::RecordingSink sink;
    Decoder decoder(Paper::millimetres80(), sink);
    decoder.feed(header);
    const std::string chunk(4096, '\x10');
    for (std::size_t sent = 0; sent < Decoder::largestDataBlock; sent += chunk.size())
        decoder.feed(chunk);
    decoder.feed(
        "\x10"
        "A\n");
    EXPECT_EQ(describe(sink.takeItems()),
              notDrawn + "\nline 30/24 m@0/213\"" + shown + "\" a@213/12\"A\"");
    // Cut off, it says how much was missing.
    decoder.feed(header + "\x10");
    decoder.finish();
    EXPECT_EQ(describe(sink.takeItems()), notDrawn + "\nevent truncated " + shown +
                                              ": 1048576 bytes missing\nevent text without a line "
                                              "feed, printed here\nline 30/21 m@0/213\"" +
                                              shown + "\"");
}

// GS 8 L defining graphics `A` kc2 of 2048 × 1024 dots in rows: a quarter of the room for
// their kind. Function 67 defines NV graphics, 83 download graphics.
std::string quarterOfTheGraphicsRoom(char function, char kc2) {
    const std::size_t data = Decoder::graphicsCapacity / 4, length = 11 + data;
    std::string bytes = bytesFromHex("1D 38 4C");
    for (int i = 0; i < 4; ++i) bytes += char((length >> (8 * i)) & 0xFF);
    bytes += std::string{'\x30', function, '\x30', 'A',    kc2,   '\x01',
                         '\x00', '\x08',   '\x00', '\x04', '\x31'};
    return bytes + std::string(data, '\x55');
}

TEST(Decoder, KeepsGraphicsWithinTheRoomAPrinterHasForThem) {
    vp::RecordingSink sink;
    Decoder decoder(Paper::millimetres80(), sink);
    for (char kc2 : {'1', '2', '3', '4', '5'}) decoder.feed(quarterOfTheGraphicsRoom('S', kc2));
    const std::string printA5 = bytesFromHex("1D 28 4C 06 00 30 55 41 35 01 01");
    decoder.feed(printA5);
    // A definition replacing one frees that one's room; NV graphics have a room of their own.
    decoder.feed(quarterOfTheGraphicsRoom('S', '1'));
    decoder.feed(quarterOfTheGraphicsRoom('C', '5'));
    decoder.feed(bytesFromHex("1D 28 4C 04 00 30 52 41 32") + quarterOfTheGraphicsRoom('S', '5') +
                 printA5);
    EXPECT_EQ(describe(sink.takeItems()),
              "event download graphics \"A1\" defined, 2048 x 1024 dots\n"
              "event download graphics \"A2\" defined, 2048 x 1024 dots\n"
              "event download graphics \"A3\" defined, 2048 x 1024 dots\n"
              "event download graphics \"A4\" defined, 2048 x 1024 dots\n"
              "event download graphics \"A5\" refused: 262144 bytes do not fit in the 0 left\n"
              "event graphics \"A5\" not defined: nothing printed\n"
              "event download graphics \"A1\" defined, 2048 x 1024 dots\n"
              "event NV graphics \"A5\" defined, 2048 x 1024 dots\n"
              "event download graphics \"A2\" deleted\n"
              "event download graphics \"A5\" defined, 2048 x 1024 dots\n"
              "image x0 576x1024");
}

vp::PrinterState coverOpen() {
    vp::PrinterState state;
    state.coverOpen = true;
    return state;
}

// The printer's states a technician can set, those that hold printing last.
std::vector<vp::PrinterState> printerStates() {
    std::vector<vp::PrinterState> states(5);
    states[1].paperNearEnd = true;
    states[2].drawerOpen = true;
    states[3].coverOpen = true;
    states[4].paperEnd = states[4].paperNearEnd = true;
    return states;
}

// What the receipt lists for a request: the reply sent, whatever its bytes.
std::string replyEvent(const std::string& reply, const std::string& request) {
    return reply.empty() ? "event no reply to " + request
                         : "event replied " + vp::hexBytes(reply, 16) + " to " + request;
}

TEST(Decoder, AnswersEachRequestWithThePrintersReply) {
    // What the replies are is the reply functions' business: here, that each request gets
    // exactly what they return, once, and that the receipt lists it. Real-time requests are
    // answered at once in every state; the others when the printer gets to them, which it
    // does only while it can print.
    struct Request {
        std::string bytes, name;
        std::string (*reply)(int, const vp::PrinterState&);
        int n;
    };
    std::vector<Request> requests;
    for (int n : {1, 2, 3, 4})
        requests.push_back({bytesFromHex("10 04") + char(n), "DLE EOT " + std::to_string(n),
                            vp::realTimeStatus, n});
    for (int n : {1, 2, 3, 49, 50, 51, 65, 66, 67, 68, 69, 7})
        requests.push_back(
            {bytesFromHex("1D 49") + char(n), "GS I " + std::to_string(n), vp::printerId, n});
    for (int n : {1, 2, 49, 50, 3})
        requests.push_back({bytesFromHex("1D 72") + char(n), "GS r " + std::to_string(n),
                            vp::transmittedStatus, n});
    for (const vp::PrinterState& state : printerStates()) {
        for (const Request& request : requests) {
            vp::RecordingSink sink;
            Decoder decoder(Paper::millimetres80(), sink);
            decoder.setState(state);
            decoder.feed(request.bytes);
            vp::PrinterState answering = state;
            if (request.reply != vp::realTimeStatus && !state.printing()) {
                EXPECT_EQ(sink.takeReplies(), "") << request.name;
                EXPECT_EQ(describe(sink.takeItems()), "") << request.name;
                answering.coverOpen = answering.paperEnd = false;
                decoder.setState(answering);
            }
            const std::string reply = request.reply(request.n, answering);
            EXPECT_EQ(sink.takeReplies(), reply) << request.name;
            EXPECT_EQ(describe(sink.takeItems()), replyEvent(reply, request.name));
            decoder.finish();
            EXPECT_EQ(sink.takeReplies(), "") << request.name << " answered twice";
        }
    }
}

// The printer's diagnosis: its replies and what it printed, for a stream fed whole and byte
// by byte.
std::string hex(int byte) {
    return vp::hexBytes(std::string(1, static_cast<char>(byte)));
}

struct Diagnosed {
    std::string replies, printed;
    vp::PrinterState state;
};
Diagnosed diagnose(const std::string& bytes, const vp::PrinterState& state = {},
                   std::size_t chunk = std::string::npos) {
    vp::RecordingSink sink;
    Decoder decoder(Paper::millimetres80(), sink);
    decoder.setState(state);
    for (std::size_t at = 0; at < bytes.size(); at += chunk) decoder.feed(bytes.substr(at, chunk));
    decoder.finish();
    return {vp::hexBytes(sink.takeReplies(), 1000), describe(sink.takeItems()), decoder.state()};
}

TEST(Decoder, PrintsTheCodesItsRomHas) {
    struct {
        vp::CharacterRom rom;
        const char* bytes;
        std::string printed;
    } const cases[] = {
        {vp::CharacterRom::Gb18030, "81 39 EE 39 A2 E3 B0 A1 0A", "line 30/24 k@0/24\"㐀€啊\""},
        {vp::CharacterRom::Gbk, "81 39 EE 39 0A",
         "event no character 81 39 EE 39 in the CHINA GBK ROM\n"
         "line 30/21 m@0/105\"81 39 EE 39\""},
        {vp::CharacterRom::Gbk, "81 40 A2 E3 0A",
         "event no character A2 E3 in the CHINA GBK ROM\n"
         "line 30/24 k@0/24\"丂\" m@24/51\"A2 E3\""},
        {vp::CharacterRom::Gb2312, "B0 A1 81 40 0A",
         "event no character 81 40 in the CHINA GB2312 ROM\n"
         "line 30/24 k@0/24\"啊\" m@24/51\"81 40\""},
        {vp::CharacterRom::Gb2312, "A8 40 0A",
         "event no character A8 40 in the CHINA GB2312 ROM\nline 30/21 m@0/51\"A8 40\""},
        // Not a code in any ROM: read as GBK reads it, the digit after a lead byte as a digit.
        {vp::CharacterRom::Gb18030, "B0 31 0A",
         "event invalid GBK B0 31\nline 30/24 m@0/24\"B0\" a@24/12\"1\""},
    };
    for (const auto& c : cases) {
        vp::PrinterState state;
        state.rom = c.rom;
        for (std::size_t chunk : {std::string::npos, std::size_t(1)})
            EXPECT_EQ(diagnose(bytesFromHex(c.bytes), state, chunk).printed, c.printed)
                << c.bytes << " in " << vp::romName(c.rom) << " by " << chunk;
    }
}

TEST(Decoder, ReadsAndWritesSettingsOnlyInUserSettingMode) {
    const std::string msw1 = "1D 28 45 0A 00 03 01 30 30 31 30 30 30 30 30 ";
    const Diagnosed done = diagnose(
        bytesFromHex(msw1 +                        // refused: not in the mode
                     "1D 28 45 03 00 01 49 4E " +  // fn 1: in
                     msw1 + "1D 28 45 0A 00 03 02 32 32 32 32 32 32 32 31 " +  // "2" keeps a bit
                     "1D 28 45 02 00 04 01 " +                                 // fn 4: switch 1
                     "1D 28 45 07 00 05 05 FE FF 03 09 00 " +        // density -2; no width 9
                     "1D 28 45 02 00 06 05 1D 28 45 02 00 06 03 " +  // fn 6: density, width
                     "1B 45 01 1D 28 45 04 00 02 4F 55 54 " +        // fn 2: out, reset
                     "1D 28 45 07 00 05 05 02 00 06 09 00 41 0A"));  // refused again
    EXPECT_EQ(done.replies,
              "37 20 00 37 21 30 30 31 30 30 30 30 30 00 37 27 35 1F 36 35 35 33 34 00 "
              "37 27 33 1F 36 00");
    EXPECT_EQ(done.state.settings.memorySwitches[0], "00100000");
    EXPECT_EQ(done.state.settings.memorySwitches[1], "00000001");
    EXPECT_EQ(done.state.settings.customized.at(vp::PrinterSettings::printDensity), -2);
    EXPECT_EQ(done.state.settings.customized.at(vp::PrinterSettings::paperWidth), 6);
    for (const char* event :
         {"memory switches refused: not in user setting mode", "memory switch 2 set to 00000001",
          "customized value 3 not set to 9", "user setting mode ended: the printer resets",
          "customized values refused: not in user setting mode"})
        EXPECT_NE(done.printed.find(event), std::string::npos) << event << "\n" << done.printed;
    // Function 2 reset the printer: the text after it is not emphasised.
    EXPECT_TRUE(done.printed.ends_with("\nline 30/24 a@0/12\"A\"")) << done.printed;
}

TEST(Decoder, CountsWhatItPrinted) {
    // A line (24 rows inked, 30 fed), a picture of three rows, two of them inked, 60 dots of
    // blank paper and a cut: 93 dots are three lines of 30.
    const std::string printed = "41 0A 1D 76 30 00 01 00 03 00 FF 00 FF 1B 4A 3C 1D 56 00 ";
    std::string asked;
    for (int n : {20, 21, 50, 70, 148, 149, 178, 198, 22})
        asked += "1D 67 32 00 " + hex(n) + " 00 ";
    const std::string reset = "1D 67 30 00 14 00 1D 67 30 00 15 00 1D 67 30 00 32 00 ";
    const std::string counted = "5F 33 00 5F 32 36 00 5F 31 00 5F 30 00";
    EXPECT_EQ(diagnose(bytesFromHex(printed + asked + reset + asked)).replies,
              counted + " " + counted + " 5F 30 00 5F 30 00 5F 30 00 5F 30 00 " + counted);
}

TEST(Decoder, HexDumpPrintsWhatFollowsUntilSwitchedOffAndOn) {
    const std::string bytes =
        bytesFromHex("1D 28 41 02 00 00 01") + "HEX\n" + bytesFromHex("10 04 01 1B 40 31 32 33 34");
    const std::string printed =
        "event hex dump mode on\n"
        "line 30/24 a@0/12\"Hexadecimal Dump\"\n"
        "line 30/24 a@0/12\"Ends when the printer is switched off\"\n"
        "line 30/24 a@0/12\"48 45 58 0A 10 04 01 1B HEX.....\"\n"
        "line 30/24 a@0/12\"40 31 32 33 34          @1234\"";
    for (std::size_t chunk : {std::string::npos, std::size_t(1), std::size_t(3)}) {
        const Diagnosed dumped = diagnose(bytes, {}, chunk);
        EXPECT_EQ(dumped.replies, "") << chunk << ": nothing is executed, DLE EOT neither";
        EXPECT_EQ(dumped.printed, printed) << chunk;
    }
    vp::RecordingSink sink;
    Decoder decoder(Paper::millimetres80(), sink);
    decoder.feed(bytes);
    EXPECT_TRUE(decoder.hexDumping());
    decoder.powerCycle();
    EXPECT_FALSE(decoder.hexDumping());
    sink.takeItems();
    decoder.feed(bytesFromHex("10 04 01 41 0A"));
    EXPECT_EQ(vp::hexBytes(sink.takeReplies()), "12");
    EXPECT_EQ(describe(sink.takeItems()), "event replied 12 to DLE EOT 1\nline 30/24 a@0/12\"A\"");
}

TEST(Decoder, StatusPrintoutShowsThePrinterAndResetsIt) {
    vp::PrinterState state;
    state.model = "XP-Q80";
    state.interfaceName = "serial /dev/pts/7";
    const std::string printed =
        diagnose(bytesFromHex("41 0A 1B 45 01 1D 28 41 02 00 30 32 41 0A"), state).printed;
    for (const char* shown :
         {"\"Model: XP-Q80\"", "\"Character ROM: CHINA GB18030\"",
          "\"Interface: serial /dev/pts/7\"", "\"Paper width: 80 mm, 576 dots\"",
          "\"Memory switch 8: 00000000\"", "\"Lines fed: 1\"", "\"Head energized: 24\"",
          "event cut partial\ncut partial"})
        EXPECT_NE(printed.find(shown), std::string::npos) << shown << "\n" << printed;
    EXPECT_TRUE(printed.ends_with("cut partial\nline 30/24 a@0/12\"A\"")) << printed;
}

TEST(Decoder, SendsAutomaticStatusBackWhileEnabledWhenWhatItReportsChanges) {
    const std::vector<vp::PrinterState> states = printerStates();
    // The frame for `state` and its event, or nothing when `sent` is false.
    auto frame = [](const vp::PrinterState& state, bool sent) {
        return sent ? vp::automaticStatusBack(state) : std::string();
    };
    auto events = [](const std::string& frame) {
        return frame.empty() ? "" : "event automatic status back sent " + vp::hexBytes(frame);
    };
    // Enabled, then left on or cancelled by GS a 0 or by ESC @.
    for (const char* ending : {"", "1D 61 00", "1B 40"}) {
        vp::RecordingSink sink;
        Decoder decoder(Paper::millimetres80(), sink);
        decoder.setState(states[1]);
        decoder.feed(bytesFromHex("1D 61 FF"));
        const std::string first = frame(states[1], true);
        EXPECT_EQ(sink.takeReplies(), first);
        EXPECT_EQ(describe(sink.takeItems()),
                  "event automatic status back on" + (first.empty() ? "" : "\n" + events(first)));
        decoder.setState(states[1]);
        EXPECT_EQ(sink.takeReplies(), "") << "sent without a change";
        decoder.feed(bytesFromHex(ending));
        sink.takeItems();
        for (std::size_t i = 0; i < states.size(); ++i) {
            const vp::PrinterState& before = states[i > 0 ? i - 1 : 1];
            decoder.setState(states[i]);
            const std::string expected =
                frame(states[i], *ending == '\0' && vp::automaticStatusBack(states[i]) !=
                                                        vp::automaticStatusBack(before));
            EXPECT_EQ(sink.takeReplies(), expected) << ending << " " << i;
            EXPECT_EQ(describe(sink.takeItems()), events(expected)) << ending << " " << i;
        }
    }
}

TEST(Decoder, HoldsWhatArrivesWhileItCannotPrintAndPrintsItOnceAfter) {
    // A line, a status request, a raster image whose three data bytes look like another
    // request, a line and a cut. The printer answers both requests as they arrive, the one
    // in the image too (the command reference warns of that), and prints everything once
    // it can, the image whole.
    const std::string job = stream("41 0A 10 04 01 1D 76 30 00 01 00 03 00 10 04 02 42 0A 1B 69");
    const std::string printed =
        "line 30/24 a@0/12\"A\"\nimage x0 8x3\nline 30/24 a@0/12\"B\"\nevent cut partial\n"
        "cut partial";
    for (const vp::PrinterState& state : printerStates()) {
        if (state.printing()) continue;
        for (std::size_t split = 0; split <= job.size(); ++split) {
            vp::RecordingSink sink;
            Decoder decoder(Paper::millimetres80(), sink);
            decoder.setState(state);
            decoder.feed(job.substr(0, split));
            decoder.feed(job.substr(split));
            EXPECT_EQ(sink.takeReplies(),
                      vp::realTimeStatus(1, state) + vp::realTimeStatus(2, state));
            EXPECT_EQ(describe(sink.takeItems()),
                      replyEvent(vp::realTimeStatus(1, state), "DLE EOT 1") + "\n" +
                          replyEvent(vp::realTimeStatus(2, state), "DLE EOT 2"))
                << split;
            decoder.finish();
            EXPECT_EQ(describe(sink.takeItems()), "") << "printed while held";
            decoder.setState({});
            EXPECT_EQ(describe(sink.takeItems()), printed) << split;
            EXPECT_EQ(sink.takeReplies(), "") << "answered twice";
            decoder.setState({});
            EXPECT_EQ(describe(sink.takeItems()), "") << "printed twice";
        }
    }
    // While it can print, the same bytes print in order, with the answers where they arrived.
    EXPECT_EQ(decode(job),
              "line 30/24 a@0/12\"A\"\n" + replyEvent(vp::realTimeStatus(1, {}), "DLE EOT 1") +
                  "\nimage x0 8x3\n" + replyEvent(vp::realTimeStatus(2, {}), "DLE EOT 2") +
                  "\nline 30/24 a@0/12\"B\"\nevent cut partial\ncut partial");
}

TEST(Decoder, KeepsNoMoreThanItsReceiveBufferWhileItCannotPrint) {
    vp::RecordingSink sink;
    Decoder decoder(Paper::millimetres80(), sink);
    EXPECT_TRUE(decoder.acceptsBytes());
    decoder.setState(coverOpen());
    EXPECT_EQ(decoder.room(), Decoder::receiveBufferBytes);
    decoder.feed(std::string(Decoder::receiveBufferBytes - 1, 'A'));
    EXPECT_TRUE(decoder.acceptsBytes());
    decoder.feed("AB\n");
    EXPECT_FALSE(decoder.acceptsBytes());
    // Real-time requests are still answered; what they come in is lost.
    decoder.feed(bytesFromHex("10 04 01"));
    EXPECT_EQ(describe(sink.takeItems()),
              replyEvent(vp::realTimeStatus(1, coverOpen()), "DLE EOT 1"));
    decoder.setState({});
    EXPECT_TRUE(decoder.acceptsBytes());
    decoder.finish();
    std::size_t printed = 0;
    std::vector<std::string> events;
    for (const vp::Item& item : sink.takeItems()) {
        if (const auto* line = std::get_if<vp::PrintedLine>(&item))
            for (const vp::Run& run : line->runs) printed += run.text.size();
        if (const auto* event = std::get_if<vp::Event>(&item)) events.push_back(event->text);
    }
    EXPECT_EQ(printed, Decoder::receiveBufferBytes);
    EXPECT_EQ(events, (std::vector<std::string>{"receive buffer full: 5 bytes lost",
                                                "text without a line feed, printed here"}));
}

TEST(Decoder, CountsDrawerPulsesOfEscPInTurnAndOfDleDc4AsTheyArrive) {
    const struct {
        const char* bytes;
        int whileHeld, after;
        const char* printing;
        const char* held;  // the real-time pulse first
    } cases[] = {
        {"1B 70 00 32 32", 0, 1, "event drawer pin 2 on 100 ms off 100 ms", nullptr},
        {"10 14 01 01 03", 1, 0, "event drawer pin 5 on 300 ms off 300 ms by DLE DC4", nullptr},
        {"1B 70 31 32 64 10 14 01 00 08", 1, 1,
         "event drawer pin 5 on 100 ms off 200 ms\n"
         "event drawer pin 2 on 800 ms off 800 ms by DLE DC4",
         "event drawer pin 2 on 800 ms off 800 ms by DLE DC4\n"
         "event drawer pin 5 on 100 ms off 200 ms"},
    };
    for (const auto& c : cases) {
        vp::RecordingSink sink;
        Decoder decoder(Paper::millimetres80(), sink);
        decoder.feed(stream(c.bytes));
        EXPECT_EQ(sink.takeDrawerPulses(), c.whileHeld + c.after) << c.bytes;
        EXPECT_EQ(describe(sink.takeItems()), c.printing);
        decoder.setState(coverOpen());
        decoder.feed(stream(c.bytes));
        EXPECT_EQ(sink.takeDrawerPulses(), c.whileHeld) << c.bytes;
        decoder.setState({});
        EXPECT_EQ(sink.takeDrawerPulses(), c.after) << c.bytes;
        EXPECT_EQ(describe(sink.takeItems()), c.held ? c.held : c.printing);
    }
}

// Items described, and apart from them how many real-time requests were acted on: when
// those are listed depends on when the bytes arrive, and what they say on the printer's
// state then. Automatic status back, sent as the state changes, is left out.
std::pair<std::string, std::size_t> separateRealTime(const std::vector<vp::Item>& items) {
    std::vector<vp::Item> printed;
    std::size_t realTime = 0;
    for (const vp::Item& item : items) {
        const auto* event = std::get_if<vp::Event>(&item);
        if (event != nullptr && event->text.find("DLE ") != std::string::npos) {
            ++realTime;
        } else if (event == nullptr || !event->text.starts_with("automatic status back sent")) {
            printed.push_back(item);
        }
    }
    return {describe(printed), realTime};
}

// Bytes arriving in any chunks decode as if they came in one piece.
std::string decodeInChunks(const std::string& bytes, std::mt19937& random, Paper paper) {
    vp::RecordingSink sink;
    Decoder decoder(paper, sink);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 7)(random);
        decoder.feed(std::string_view(bytes).substr(at, size));
        at += size;
    }
    decoder.finish();
    return describe(sink.takeItems());
}

TEST(Decoder, ChunksDecodeAsOneRead) {
    std::string all = technicianBannerPhase() + technicianTextPhase();
    for (const Case& c : cases) all += stream(c.bytes);
    std::mt19937 random(9);
    const std::string whole = decode(all);
    for (int round = 0; round < 20; ++round)
        ASSERT_EQ(decodeInChunks(all, random, Paper::millimetres80()), whole);
}

// The printer's whole output, receipts, replies and drawer pulses, however the stream is split,
// with the cover opening and closing between the same bytes.
TEST(PrinterEngine, PutsOutTheSameHoweverTheStreamIsSplit) {
    std::string all = technicianBannerPhase() + technicianTextPhase();
    for (const Case& c : cases) all += stream(c.bytes);
    all += stream("1D 61 FF 10 04 01 1D 49 43 1B 70 00 05 05 10 14 01 00 02 41 1B 69 10 04 02");
    const auto output = [&](std::mt19937* random) {
        vp::RecordingSink sink;
        vp::PrinterEngine printer(Paper::millimetres80(), sink);
        const std::size_t middle = all.size() / 2;
        for (std::size_t at = 0; at < all.size();) {
            std::size_t size =
                random ? std::uniform_int_distribution<std::size_t>(1, 9)(*random) : all.size();
            if (at < middle) size = std::min(size, middle - at);
            printer.feed(std::string_view(all).substr(at, size));
            at += size;
            if (at == middle) printer.setState(coverOpen());
        }
        printer.setState({});
        printer.endOfStream();
        std::string out;
        for (const vp::Receipt& receipt : sink.takeReceipts())
            out += describe(receipt.items) + "\n--\n";
        return out + vp::hexBytes(sink.takeReplies()) + " pulses " +
               std::to_string(sink.takeDrawerPulses());
    };
    const std::string whole = output(nullptr);
    ASSERT_FALSE(whole.ends_with(" pulses 0")) << whole;
    std::mt19937 random(21);
    for (int round = 0; round < 10; ++round) ASSERT_EQ(output(&random), whole);
}

// The same stream, fed while the cover opens and closes at random and never faster than
// the printer takes it: each kind of item and event, with those of real-time requests apart,
// since these come when the bytes arrive, not when they print.
std::pair<std::string, std::size_t> decodeWithCoverOpening(const std::string& bytes,
                                                           std::mt19937& random, Paper paper) {
    vp::RecordingSink sink;
    Decoder decoder(paper, sink);
    std::vector<vp::Item> items;
    auto collect = [&] {
        sink.takeReplies();
        for (vp::Item& item : sink.takeItems()) items.push_back(std::move(item));
    };
    for (std::size_t at = 0; at < bytes.size();) {
        if (!decoder.acceptsBytes() || random() % 4 == 0)
            decoder.setState(decoder.acceptsBytes() && random() % 2 ? coverOpen()
                                                                    : vp::PrinterState{});
        const std::size_t size =
            std::min(std::uniform_int_distribution<std::size_t>(0, 7)(random), decoder.room());
        decoder.feed(std::string_view(bytes).substr(at, size));
        at += size;
        collect();
    }
    decoder.setState({});
    decoder.finish();
    collect();
    return separateRealTime(items);
}

// Everything the printer put out through its sink, with the stream fed in pieces of 1 to 9
// bytes when `random` is given, in one piece otherwise.
std::string engineOutput(const std::string& bytes, std::mt19937* random, Paper paper) {
    vp::RecordingSink sink;
    vp::PrinterEngine printer(paper, sink);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t size =
            random ? std::uniform_int_distribution<std::size_t>(1, 9)(*random) : bytes.size();
        printer.feed(std::string_view(bytes).substr(at, size));
        at += size;
    }
    printer.endOfStream();
    std::string out;
    for (const vp::Receipt& receipt : sink.takeReceipts())
        out += describe(receipt.items) + "\n--\n";
    for (const std::string& event : sink.takeEvents()) out += event + "\n";
    return out + vp::hexBytes(sink.takeReplies(), std::size_t(-1)) + " pulses " +
           std::to_string(sink.takeDrawerPulses());
}

TEST(Decoder, RandomStreamsNeitherCrashNorGrowWithoutBound) {
    // Mostly command prefixes and their usual parameters, so that commands get exercised: the
    // other dialects' ESC 4, ESC 5, ESC B and DC2 # T * among them, GS P, GS ( E and GS g.
    const std::string alphabet = bytesFromHex(
        "1B 1C 1D 10 0A 0D 09 00 04 21 6B 49 43 41 7B 80 C3 FF 2A 76 30 21 28 61 72 05 14 01 "
        "4C 38 2F 71 70 31 36 50 51 52 57 5C 24 52 74 02 03 45 67 32 06 12 23 54 34 35 42 33 4A");
    std::mt19937 random(42);
    // At least a fixed number of streams, however slow the machine (a sanitizer build, a busy
    // CI runner), and more while two seconds last.
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int rounds = 0;
    while (rounds < 150 || std::chrono::steady_clock::now() < stop) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(1, 3000)(random), '\0');
        for (char& byte : bytes) {
            const unsigned pick = random() % 3;
            byte = pick == 0 ? static_cast<char>(random()) : alphabet[random() % alphabet.size()];
        }
        vp::RecordingSink sink;
        Decoder decoder(Paper::millimetres58(), sink);
        decoder.feed(bytes);
        decoder.finish();
        const std::vector<vp::Item> items = sink.takeItems();
        ASSERT_LE(items.size(), 3 * bytes.size() + 3);
        for (const vp::Item& item : items) {
            // Feeds stop at 1016 mm; a raster image may be 65535 rows at double height.
            ASSERT_LE(vp::heightDots(item),
                      std::holds_alternative<vp::ImageBlock>(item) ? 131070 : 8128);
            // Nothing starts outside the paper, pictures do not run past its edge.
            if (const auto* line = std::get_if<vp::PrintedLine>(&item)) {
                for (const vp::Run& run : line->runs) ASSERT_TRUE(run.x >= 0 && run.x < 384);
                for (const vp::LineImage& image : line->images)
                    ASSERT_TRUE(image.x >= 0 && image.x + image.bitmap.printedWidth() <= 384);
            } else if (const auto* image = std::get_if<vp::ImageBlock>(&item)) {
                ASSERT_TRUE(image->x >= 0 && image->x + image->bitmap.printedWidth() <= 384);
            }
        }
        if (++rounds % 25 == 0) {
            ASSERT_EQ(decodeInChunks(bytes, random, Paper::millimetres58()), describe(items));
            ASSERT_EQ(decodeWithCoverOpening(bytes, random, Paper::millimetres58()),
                      separateRealTime(items));
            ASSERT_EQ(engineOutput(bytes, &random, Paper::millimetres58()),
                      engineOutput(bytes, nullptr, Paper::millimetres58()));
        }
    }
}

TEST(PaperRoll, EndsReceiptsAtCutsAndAtTheEndOfTheStream) {
    vp::RecordingSink sink;
    vp::PrinterEngine roll(Paper::millimetres80(), sink);
    roll.feed(bytesFromHex("41 0A 1B 69 0A 42 0A"));
    auto finished = sink.takeReceipts();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(describe(finished[0].items),
              "line 30/24 a@0/12\"A\"\nevent cut partial\ncut partial");
    roll.endOfStream();
    finished = sink.takeReceipts();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(describe(finished[0].items), "line 30/0\nline 30/24 a@0/12\"B\"");

    // Paper fed after a cut is no receipt yet: it starts the next one.
    roll.feed(bytesFromHex(cutJobHex));
    roll.endOfStream();
    EXPECT_EQ(sink.takeReceipts().size(), 1u);
    // Streams that print nothing are no receipts: their events are listed on their own, and
    // the paper they fed stays at the top of the next receipt.
    roll.feed(bytesFromHex(drawerJobHex));
    roll.endOfStream();
    roll.feed(bytesFromHex("10 04 01"));
    roll.endOfStream();
    EXPECT_TRUE(sink.takeReceipts().empty());
    EXPECT_EQ(sink.takeEvents(), std::vector<std::string>({"drawer pin 2 on 256 ms off 256 ms",
                                                           "replied 12 to DLE EOT 1"}));
    roll.feed(bytesFromHex("42 0A"));
    roll.endOfStream();
    finished = sink.takeReceipts();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(describe(finished[0].items), "line 30/0\nline 30/0\nline 30/24 a@0/12\"B\"");
}

TEST(PaperRoll, SplitsPaperThatIsNeverCut) {
    vp::RecordingSink sink;
    vp::PrinterEngine roll(Paper::millimetres80(), sink, 300);
    roll.feed(std::string(25, '\n'));
    const auto finished = sink.takeReceipts();
    ASSERT_EQ(finished.size(), 2u);
    EXPECT_EQ(finished[0].heightDots(), 330);
    EXPECT_EQ(finished[0].events(),
              std::vector<std::string>{"picture ends here: longer than 300 dots"});
}

TEST(CharacterSets, CodeTablesAndNationalSetsAsThePrinterPrintsThem) {
    struct Case {
        int table;
        std::uint8_t byte;
        char32_t printed;  // 0: the table has no character there
    };
    const Case codeTables[] = {
        {0, 0xB0, U'░'},  {1, 0x95, U'─'},  {1, 0x9C, U'╭'},  {1, 0xA0, U' '},  {1, 0xB1, U'ｱ'},
        {1, 0xF2, U'年'}, {1, 0xFE, U'▒'},  {2, 0xD5, U'ı'},  {15, 0xA4, U'€'}, {16, 0x80, U'€'},
        {16, 0x81, 0},    {17, 0x80, U'А'}, {18, 0xAC, U'Č'}, {19, 0xD5, U'€'}, {39, 0x85, 0},
        {40, 0xA4, U'€'}, {7, 0x80, U'€'},  {9, 0x80, 0},     {0, 0x41, U'A'},
    };
    for (const Case& c : codeTables)
        EXPECT_EQ(vp::codeTableCharacter(c.table, c.byte), c.printed)
            << "table " << c.table << " byte " << int(c.byte);
    const Case nationalSets[] = {
        {0, '$', U'$'},  {2, '@', U'§'},  {2, '~', U'ß'},   {3, '#', U'£'}, {8, '\\', U'¥'},
        {15, '$', U'¥'}, {14, '~', U'č'}, {13, '\\', U'₩'}, {5, 'A', U'A'}, {99, '$', U'$'},
    };
    for (const Case& c : nationalSets)
        EXPECT_EQ(vp::internationalCharacter(c.table, c.byte), c.printed) << "set " << c.table;
}

// The three finder patterns of a QR code: a 7 × 7 ring with a 3 × 3 core, in the corners but
// the bottom right, so the matrix comes out neither mirrored nor turned.
bool hasFinder(const vp::ModuleMatrix& m, int left, int top) {
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
            const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
            if (m.at(left + x, top + y) != (ring || core)) return false;
        }
    return true;
}

TEST(TwoDSymbols, QrCodesAreTheSmallestVersionForTheirLevel) {
    const auto small = std::get<vp::ModuleMatrix>(vp::encodeQr("https://a.cn/1", {}));
    EXPECT_EQ(small.columns, 21);
    EXPECT_EQ(small.rows, 21);
    EXPECT_TRUE(hasFinder(small, 0, 0) && hasFinder(small, 14, 0) && hasFinder(small, 0, 14));
    EXPECT_FALSE(hasFinder(small, 14, 14));
    // 40 bytes fit version 3 at level L, version 5 at level H.
    const std::string forty(40, 'x');
    EXPECT_EQ(std::get<vp::ModuleMatrix>(vp::encodeQr(forty, {})).columns, 29);
    EXPECT_EQ(std::get<vp::ModuleMatrix>(vp::encodeQr(forty, {vp::QrModel::Model2, 3})).columns,
              37);
    EXPECT_EQ(std::get<vp::ModuleMatrix>(vp::encodeQr("12345", {vp::QrModel::Micro, 0})).columns,
              11);
    EXPECT_TRUE(
        std::holds_alternative<vp::SymbolError>(vp::encodeQr("1", {vp::QrModel::Micro, 3})));
    EXPECT_TRUE(std::holds_alternative<vp::SymbolError>(vp::encodeQr(std::string(3000, 'x'), {})));
    EXPECT_TRUE(std::holds_alternative<vp::SymbolError>(vp::encodeQr("", {})));
}

TEST(TwoDSymbols, Pdf417KeepsTheColumnsAndRowsAsked) {
    const std::string data = "INV 144032600111 08827315 2026-12-08 TOTAL 58.50";
    auto make = [&](vp::Pdf417Settings settings) {
        return std::get<vp::ModuleMatrix>(vp::encodePdf417(data, settings));
    };
    // Start, left indicator, the data columns, right indicator and stop: 17 modules each,
    // the stop 18; truncated, only the start, the left indicator and a bar.
    EXPECT_EQ(make({.columns = 4}).columns, 4 * 17 + 69);
    EXPECT_EQ(make({.columns = 4, .truncated = true}).columns, 4 * 17 + 35);
    EXPECT_EQ(make({.columns = 2, .rows = 30}).rows, 30);
    // A higher ratio makes more correction codewords, so more rows for as many columns.
    EXPECT_GT(make({.columns = 3, .ratio = 40}).rows, make({.columns = 3, .ratio = 1}).rows);
    EXPECT_GT(make({.columns = 3, .levelGiven = true, .level = 6}).rows,
              make({.columns = 3, .levelGiven = true, .level = 0}).rows);
}

TEST(TwoDSymbols, DataMatrixTakesTheSizesOfEcc200Only) {
    const auto square = std::get<vp::ModuleMatrix>(vp::encodeDataMatrix("ORDER 0002", {}));
    EXPECT_EQ(square.columns, square.rows);
    const auto rectangle =
        std::get<vp::ModuleMatrix>(vp::encodeDataMatrix("ORDER 0002", {true, 36, 12}));
    EXPECT_EQ(rectangle.columns, 36);
    EXPECT_EQ(rectangle.rows, 12);
    const auto smallest = std::get<vp::ModuleMatrix>(vp::encodeDataMatrix("ORDER 0002", {true}));
    EXPECT_GT(smallest.columns, smallest.rows);
    EXPECT_TRUE(
        std::holds_alternative<vp::SymbolError>(vp::encodeDataMatrix("A", {false, 11, 11})));
}

TEST(PaperRoll, TurnsALongReadIntoTheSameReceiptsAsShortOnes) {
    const std::string receipt =
        technicianBannerPhase() + technicianTextPhase() + bytesFromHex("1B 69");
    std::string many;
    for (int i = 0; i < 20; ++i) many += receipt;
    vp::RecordingSink sink;
    vp::PrinterEngine roll(Paper::millimetres80(), sink);
    roll.feed(many);
    const std::vector<vp::Receipt> receipts = sink.takeReceipts();
    ASSERT_EQ(receipts.size(), 20u);
    for (const vp::Receipt& each : receipts) EXPECT_EQ(each.items, receipts[0].items);
}

TEST(PaperRoll, PrintsWhatItHeldOnceThePrinterCanPrint) {
    vp::RecordingSink sink;
    vp::PrinterEngine roll(Paper::millimetres80(), sink);
    roll.setState(coverOpen());
    roll.feed(bytesFromHex("41 0A 1B 69"));
    roll.endOfStream();
    EXPECT_TRUE(sink.takeReceipts().empty());
    roll.setState({});
    const auto finished = sink.takeReceipts();
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(describe(finished[0].items),
              "line 30/24 a@0/12\"A\"\nevent cut partial\ncut partial");
}

}  // namespace
