#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "diagnostic_pages.h"
#include "printer_engine.h"
#include "receipt_renderer.h"
#include "sample_streams.h"
#include "temp_files.h"

namespace {

using vp::Paper;

std::vector<QImage> render(const std::string& bytes, Paper paper = Paper::millimetres80()) {
    vp::RecordingSink sink;
    vp::PrinterEngine roll(paper, sink);
    roll.feed(bytes);
    roll.endOfStream();
    vp::ReceiptRenderer renderer(paper);
    std::vector<QImage> pictures;
    for (const vp::Receipt& receipt : sink.takeReceipts())
        pictures.push_back(renderer.render(receipt));
    return pictures;
}

std::string scan(const QImage& picture) {
    TempDir dir;
    const std::string path = dir.path("barcode.png");
    if (!vp::savePicture(picture, QString::fromStdString(path))) return "(not saved)";
    return scanBarcode(path);
}

std::string barcode(int symbology, const std::string& data) {
    return bytesFromHex("1D 6B") + char(symbology) + char(data.size()) + data + "\n" +
           bytesFromHex("1B 69");
}

TEST(Barcodes, ScanBackAsTheirData) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string read;
        bool fits58 = false;  // narrow enough for 58 mm paper too
    };
    std::string printable, digitPairs, digits;
    for (char c = ' '; c <= '~'; ++c) printable += c;
    for (char pair = 0; pair < 100; ++pair) digitPairs += pair;
    for (int pair = 0; pair < 100; ++pair)
        digits += std::to_string(pair / 10) + std::to_string(pair % 10);
    std::vector<Case> cases = {
        {"the tester's barcode job", bytesFromHex(barcodeJobHex), "123", true},
        {"with its text below", bytesFromHex("1D 48 02") + bytesFromHex(barcodeJobHex), "123",
         true},
        {"code sets switched and shifted", barcode(73, "{BNo.{C\x0C\x22\x38{AAB{Sc"),
         "No.123456ABc"},
        {"EAN-13", bytesFromHex("1D 6B 02") + "400638133393" + '\0', "4006381333931", true},
        {"EAN-8", barcode(68, "9638507"), "96385074", true},
        // zbar reports UPC-A as the EAN-13 it is a part of, UPC-E as the UPC-A it stands for.
        {"UPC-A", barcode(65, "03600029145"), "0036000291452", true},
        {"UPC-E of six digits", barcode(66, "123456"), "0012345000065", true},
        {"UPC-E of seven, check digit added", barcode(66, "0654321"), "0065100004327", true},
        {"UPC-E from UPC-A, NUL form", bytesFromHex("1D 6B 01") + "03600000029" + '\0',
         "0036000000290", true},
        {"UPC-E from UPC-A, rule 3", barcode(66, "012300000451"), "0012300000451", true},
        {"UPC-E from UPC-A, rule 4", barcode(66, "01234000005"), "0012340000053", true},
        {"UPC-E from UPC-A, rule 5-9", barcode(66, "01234500007"), "0012345000072", true},
        {"ITF", barcode(70, "0123456789"), "0123456789", true},
        {"ITF in the NUL form drops an odd last digit", bytesFromHex("1D 6B 05") + "4711081" + '\0',
         "471108", true},
        // zbar gives CODABAR's start and stop characters, in capitals.
        {"CODABAR", barcode(71, "A0123456789B"), "A0123456789B"},
        {"CODABAR in the NUL form, small start and stop",
         bytesFromHex("1D 6B 06") + "c-$:/.+d" + '\0', "C-$:/.+D", true},
        {"CODE93 through its shifts", bytesFromHex("1D 77 02") + barcode(72, "Tel:+86\t(0755)\x1b"),
         "Tel:+86\t(0755)\x1b"},
    };
    // Every CODE128 character of code sets B and C, every CODE39 character, every printable
    // character in CODE93.
    for (std::size_t at = 0; at < printable.size(); at += 19) {
        const std::string chunk = printable.substr(at, 19);
        std::string data = "{B";
        for (char c : chunk) data += c == '{' ? std::string("{{") : std::string(1, c);
        cases.push_back({"code set B", bytesFromHex("1D 77 02") + barcode(73, data), chunk});
    }
    for (std::size_t at = 0; at < digitPairs.size(); at += 20)
        cases.push_back({"code set C",
                         bytesFromHex("1D 77 02") + barcode(73, "{C" + digitPairs.substr(at, 20)),
                         digits.substr(2 * at, 40)});
    const std::string code39 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    for (std::size_t at = 0; at < code39.size(); at += 11)
        cases.push_back({"CODE39", bytesFromHex("1D 77 02") + barcode(69, code39.substr(at, 11)),
                         code39.substr(at, 11)});

    for (std::size_t at = 0; at < printable.size(); at += 12)
        cases.push_back({"CODE93", bytesFromHex("1D 77 02") + barcode(72, printable.substr(at, 12)),
                         printable.substr(at, 12)});

    for (const Case& c : cases) {
        for (Paper paper : {Paper::millimetres80(), Paper::millimetres58()}) {
            if (paper.printableDots == 384 && !c.fits58) continue;
            const std::vector<QImage> pictures = render(c.bytes, paper);
            ASSERT_FALSE(pictures.empty()) << c.name;
            EXPECT_EQ(scan(pictures.front()), c.read) << c.name << " on " << paper.printableDots;
        }
    }
}

// Ink of a region: its bounding box and how many dots are black.
struct Ink {
    QRect box;
    int dots = 0;
};

Ink inkIn(const QImage& picture, QRect region) {
    Ink ink;
    region &= picture.rect();
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (qGray(picture.pixel(x, y)) < 128) {
                ++ink.dots;
                ink.box |= QRect(x, y, 1, 1);
            }
    return ink;
}

TEST(Renderer, DrawsPaperDotForDot) {
    const QImage receipt = render(technicianBannerPhase() + technicianTextPhase()).front();
    EXPECT_EQ(receipt.width(), 640);
    // Black and white only, as thermal paper.
    for (int y = 0; y < receipt.height(); ++y)
        for (int x = 0; x < receipt.width(); ++x) {
            const int grey = qGray(receipt.pixel(x, y));
            ASSERT_TRUE(grey == 0 || grey == 255) << x << "," << y;
        }
    // The banner's six characters at double width and height, inside the printable area.
    const Ink banner = inkIn(receipt, QRect(0, 0, 640, 48));
    EXPECT_GE(banner.box.height(), 40);
    EXPECT_GE(banner.box.left(), 32);
    EXPECT_GT(banner.box.right(), 32 + 5 * 48);
    EXPECT_LE(banner.box.right(), 32 + 6 * 48);
    EXPECT_EQ(render(technicianBannerPhase(), Paper::millimetres58()).front().width(), 464);
}

TEST(Renderer, DrawsCharactersStylesCutsAndMarkers) {
    auto picture = [](const std::string& hex) { return render(bytesFromHex(hex)).front(); };
    const QRect firstCell(32, 0, 48, 48);
    // Chinese characters come from a font that has them: two differ.
    const Ink zhong = inkIn(picture("D6 D0 0A"), firstCell);
    const Ink guo = inkIn(picture("B9 FA 0A"), firstCell);
    EXPECT_GT(zhong.dots, 20);
    EXPECT_NE(zhong.dots, guo.dots);
    // Emphasis adds ink; double width doubles the glyph.
    const Ink plain = inkIn(picture("41 0A"), firstCell);
    EXPECT_GT(inkIn(picture("1B 45 01 41 0A"), firstCell).dots, plain.dots);
    EXPECT_GE(inkIn(picture("1B 21 20 41 0A"), firstCell).box.width(), 2 * plain.box.width() - 1);
    // Reverse printing outranks underline: no line, white or black.
    EXPECT_EQ(picture("1D 42 01 1B 2D 02 41 20 0A"), picture("1D 42 01 41 20 0A"));
    EXPECT_NE(picture("1B 2D 02 41 20 0A"), picture("41 20 0A"));
    // A marker is a black box with its hex bytes in white, here for a byte that is no GBK.
    const Ink marker = inkIn(picture("80 0A"), QRect(32, 0, 24, 30));
    EXPECT_GT(marker.dots, 24 * 21 / 2);
    EXPECT_LT(marker.dots, 24 * 21);
    // A cut runs across the whole paper; a partial one leaves the middle.
    const QImage full = picture("1D 56 00"), partial = picture("1B 69");
    EXPECT_GT(inkIn(full, QRect(0, 0, 40, 16)).dots, 0);
    EXPECT_GT(inkIn(full, QRect(600, 0, 40, 16)).dots, 0);
    EXPECT_GT(inkIn(full, QRect(310, 0, 20, 16)).dots, 0);
    EXPECT_EQ(inkIn(partial, QRect(310, 0, 20, 16)).dots, 0);
}

TEST(Renderer, DrawsPicturesDotForDot) {
    // A raster image in quadruple size, centred; under it a line with an 8-dot single-density
    // bit image, whose columns are two dots wide and whose dots are three dots tall.
    const QImage picture = render(bytesFromHex("1B 61 01 1D 76 30 33 01 00 02 00 A5 5A 1B 61 00 "
                                               "1B 2A 00 02 00 81 18 0A"))
                               .front();
    int expectedInk = 0;
    auto expectDots = [&](int left, int top, int width, int height, auto black) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                expectedInk += black(x, y);
                ASSERT_EQ(qGray(picture.pixel(left + x, top + y)) < 128, black(x, y))
                    << left + x << "," << top + y;
            }
    };
    const int rasterLeft = 32 + (576 - 16) / 2;
    expectDots(rasterLeft, 0, 16, 4,
               [](int x, int y) { return bool(((y < 2 ? 0xA5 : 0x5A) >> (7 - x / 2)) & 1); });
    expectDots(32, 4, 4, 24,
               [](int x, int y) { return bool(((x < 2 ? 0x81 : 0x18) >> (7 - y / 3)) & 1); });
    EXPECT_EQ(inkIn(picture, picture.rect()).dots, expectedInk);
}

bool black(const QImage& picture, int x, int y) {
    return picture.valid(x, y) && qGray(picture.pixel(x, y)) < 128;
}

// ESC V turns each character's cell a quarter clockwise, its enlargements with it, and leaves it
// without underline; ESC { prints the line's ink turned half round across the head.
TEST(Renderer, TurnsCharactersAndLinesAsTheHeadPrintsThem) {
    auto picture = [](const std::string& hex) { return render(bytesFromHex(hex)).front(); };
    const QImage a = picture("41 0A");
    // The dot of the upright A in its 12 x 24 cell at the left of the printable area.
    auto upright = [&](int x, int y) { return black(a, 32 + x, y); };
    const struct {
        const char* name;
        const char* hex;
        int width, height;  // of the ink's box, from the printable area's top left
        std::function<bool(int, int)> dot;
    } turned[] = {
        {"turned", "1B 56 01 41 0A", 24, 12, [&](int x, int y) { return upright(y, 23 - x); }},
        {"two turned, one cell height apart", "1B 56 31 41 41 0A", 48, 12,
         [&](int x, int y) { return upright(y, 23 - x % 24); }},
        {"double height lies across", "1D 21 01 1B 56 01 41 0A", 48, 12,
         [&](int x, int y) { return upright(y, 23 - x / 2); }},
        {"double width lies along", "1D 21 10 1B 56 01 41 0A", 24, 24,
         [&](int x, int y) { return upright(y / 2, 23 - x); }},
        {"never underlined", "1B 2D 02 1B 56 01 41 0A", 24, 12,
         [&](int x, int y) { return upright(y, 23 - x); }},
    };
    for (const auto& c : turned) {
        const QImage drawn = picture(c.hex);
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const bool inside = x >= 32 && x < 32 + c.width && y < c.height;
                ASSERT_EQ(black(drawn, x, y), inside && c.dot(x - 32, y))
                    << c.name << " at " << x << "," << y;
            }
    }
    const struct {
        const char* name;
        const char* hex;  // the line, printed upright and after ESC { 1
        int inkHeight;
    } upended[] = {
        {"characters", "41 42 D6 D0 0A", 24},
        {"of two heights and a picture", "41 1D 21 01 42 1B 2A 00 02 00 81 18 0A", 48},
        {"in a line taller than its ink", "1B 33 50 1B 61 01 41 42 0A", 24},
    };
    for (const auto& c : upended) {
        const QImage plain = picture(c.hex), drawn = picture(std::string("1B 7B 01 ") + c.hex);
        ASSERT_EQ(drawn.size(), plain.size()) << c.name;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 32; x < 32 + 576; ++x) {
                const bool expected = y < c.inkHeight
                                          ? black(plain, 32 + 575 - (x - 32), c.inkHeight - 1 - y)
                                          : black(plain, x, y);
                ASSERT_EQ(black(drawn, x, y), expected) << c.name << " at " << x << "," << y;
            }
    }
    // The mode changes only between lines, and stays until turned off there.
    vp::RecordingSink sink;
    vp::PrinterEngine roll(Paper::millimetres80(), sink);
    roll.feed(bytesFromHex("1B 7B 01 41 0A 41 1B 7B 00 0A 41 0A 1B 7B 00 41 0A 1B 69"));
    const vp::Receipt receipt = sink.takeReceipts().front();
    std::vector<bool> upsideDown;
    for (const vp::Item& item : receipt.items)
        if (const auto* line = std::get_if<vp::PrintedLine>(&item))
            upsideDown.push_back(line->upsideDown);
    EXPECT_EQ(upsideDown, (std::vector<bool>{true, true, true, false}));
    const std::vector<std::string> events = receipt.events();
    EXPECT_NE(std::find(events.begin(), events.end(),
                        "upside-down printing ignored: not at the beginning of a line, 1B 7B 00"),
              events.end());
}

// The PNG holds one bit a dot and the very dots drawn: text in every style, Chinese, markers,
// cuts, pictures and symbols, on a width that is not a multiple of eight dots.
TEST(Renderer, WritesPicturesOneBitDotForDot) {
    std::string bytes = technicianBannerPhase() + technicianTextPhase() +
                        bytesFromHex(
                            "1D 42 01 1B 2D 02 1D 21 11 41 42 0A 1D 21 00 1D 42 00 "
                            "1B 2D 00 D6 D0 B9 FA 0A 1B 7A 0A 1B 61 01 1D 76 30 33 "
                            "01 00 02 00 A5 5A 0A 1B 69");
    for (const char* stream : {"/receiptline-escpos.bin", "/thermal-printer-china.bin"})
        bytes += readFile(std::string(LIBRARY_STREAMS) + stream);
    std::vector<QImage> pictures = render(bytes);
    const QImage narrow = render(technicianBannerPhase(), Paper::millimetres58()).front();
    pictures.push_back(narrow.copy(0, 0, 461, narrow.height()));
    TempDir dir;
    const QString path = QString::fromStdString(dir.path("receipt.png"));
    for (const QImage& picture : pictures) {
        ASSERT_TRUE(vp::savePicture(picture, path));
        const QImage written(path);
        ASSERT_EQ(written.depth(), 1);
        ASSERT_EQ(written.size(), picture.size());
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                ASSERT_EQ(qGray(written.pixel(x, y)), qGray(picture.pixel(x, y))) << x << "," << y;
    }
}

// Where `logo` stands in `picture` dot for dot, or nothing: every black dot of the logo black,
// every white one white.
std::optional<QPoint> findLogo(const QImage& picture, const QImage& logo) {
    auto black = [](const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; };
    QPoint first(-1, -1);
    for (int y = 0; y < logo.height() && first.x() < 0; ++y)
        for (int x = 0; x < logo.width(); ++x)
            if (black(logo, x, y)) {
                first = QPoint(x, y);
                break;
            }
    for (int y = first.y(); y + logo.height() - first.y() <= picture.height(); ++y)
        for (int x = first.x(); x + logo.width() - first.x() <= picture.width(); ++x) {
            if (!black(picture, x, y)) continue;
            const QPoint origin(x - first.x(), y - first.y());
            bool same = true;
            for (int ly = 0; ly < logo.height() && same; ++ly)
                for (int lx = 0; lx < logo.width() && same; ++lx)
                    same = black(picture, origin.x() + lx, origin.y() + ly) == black(logo, lx, ly);
            if (same) return origin;
        }
    return std::nullopt;
}

// The picture a manifest's logo line names: "logo.png", "logo.png 2x3" for its dots printed
// two wide and three tall, "logo.png strips 24 36" for strips of 24 rows printed 36 apart.
QImage expectedLogo(const std::string& folder, const std::string& spec) {
    std::istringstream words(spec);
    std::string file, how;
    words >> file >> how;
    QImage logo =
        QImage(QString::fromStdString(folder + "/" + file)).convertToFormat(QImage::Format_RGB32);
    if (const std::size_t x = how.find('x'); x != std::string::npos)
        return logo.scaled(logo.width() * std::stoi(how.substr(0, x)),
                           logo.height() * std::stoi(how.substr(x + 1)), Qt::IgnoreAspectRatio,
                           Qt::FastTransformation);
    if (how != "strips") return logo;
    int strip = 0, pitch = 0;
    words >> strip >> pitch;
    const int strips = (logo.height() + strip - 1) / strip;
    QImage spread(logo.width(), (strips - 1) * pitch + strip, QImage::Format_RGB32);
    spread.fill(Qt::white);
    QPainter painter(&spread);
    for (int i = 0; i < strips; ++i)
        painter.drawImage(QPoint(0, i * pitch), logo.copy(0, i * strip, logo.width(), strip));
    return spread;
}

// The receipts of npm's ESC/POS libraries (tests/virtual_printer/data, made by
// make-library-streams.sh): each prints without a marker, its codes read back as the text the
// library encoded, and its logo comes out as the picture sent.
TEST(LibraryStreams, PrintAsTheLibrariesMeantThem) {
    const std::string folder = LIBRARY_STREAMS;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> expected;
    std::istringstream manifest(readFile(folder + "/library-streams.tsv"));
    for (std::string line; std::getline(manifest, line);) {
        const std::size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
        expected[line.substr(0, tab)].emplace_back(line.substr(tab + 1, second - tab - 1),
                                                   line.substr(second + 1));
    }
    ASSERT_GE(expected.size(), 14u);
    for (const auto& [stream, codes] : expected) {
        QImage logo;
        for (const auto& [symbology, text] : codes)
            if (symbology == "logo") logo = expectedLogo(folder, text);
        const Paper paper = stream.find("58mm") != std::string::npos ? Paper::millimetres58()
                                                                     : Paper::millimetres80();
        vp::RecordingSink sink;
        vp::PrinterEngine roll(paper, sink);
        roll.feed(readFile(folder + "/" + stream));
        roll.endOfStream();
        vp::ReceiptRenderer renderer(paper);
        std::vector<std::string> found;
        std::string faults;
        bool logoFound = false;
        for (const vp::Receipt& receipt : sink.takeReceipts()) {
            for (const std::string& event : receipt.events())
                for (const char* fault : {"unknown", "invalid", "not drawn", "no character",
                                          "truncated", "ignored", "not printed"})
                    if (event.find(fault) != std::string::npos) faults += "\n  " + event;
            const QImage picture = renderer.render(receipt);
            TempDir dir;
            const std::string path = dir.path("receipt.png");
            ASSERT_TRUE(vp::savePicture(picture, QString::fromStdString(path)));
            for (std::string& code : scanBarcodes(path)) found.push_back(std::move(code));
            // 2-D symbols are read one picture block at a time: ZXingReader 1.4 stops on a
            // receipt that holds several kinds of code.
            int top = 0;
            for (const vp::Item& item : receipt.items) {
                const int height = vp::heightDots(item);
                if (std::holds_alternative<vp::ImageBlock>(item)) {
                    const std::string block = dir.path("block.png");
                    const QRect around(0, top - 8, picture.width(), height + 16);
                    ASSERT_TRUE(vp::savePicture(picture.copy(around & picture.rect()),
                                                QString::fromStdString(block)));
                    for (std::string& code : scanSymbols(block)) found.push_back(std::move(code));
                }
                top += height;
            }
            logoFound = logoFound || (!logo.isNull() && findLogo(picture, logo).has_value());
        }
        EXPECT_EQ(faults, "") << stream;
        for (const auto& [symbology, text] : codes) {
            if (symbology == "logo") {
                EXPECT_TRUE(logoFound) << stream;
                continue;
            }
            // 1-D codes as zbarimg names them, 2-D symbols as ZXingReader does.
            const bool read =
                std::find(found.begin(), found.end(), symbology + ":" + text) != found.end();
            EXPECT_TRUE(read) << stream << ": " << symbology << " " << text;
        }
    }
}

// Black dots of a picture as one number, with its size and ink, whatever its format.
std::string fingerprint(const QImage& picture) {
    std::uint64_t hash = 14695981039346656037ull;
    int ink = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); x += 8) {
            unsigned byte = 0;
            for (int bit = 0; bit < 8 && x + bit < picture.width(); ++bit)
                if (qGray(picture.pixel(x + bit, y)) < 128) byte |= 0x80u >> bit, ++ink;
            hash = (hash ^ byte) * 1099511628211ull;
        }
    char text[64];
    std::snprintf(text, sizeof text, "%dx%d ink %d %016llx", picture.width(), picture.height(), ink,
                  static_cast<unsigned long long>(hash));
    return text;
}

// Every style the renderer draws, on one receipt: sizes, fonts, emphasis, underlines, reverse,
// spacing and positions, Chinese characters in their modes, pictures in lines and blocks at
// every scale, barcodes with their text, markers.
std::string everyStyle() {
    std::string bytes = bytesFromHex("1B 40");
    for (const char* hex : {"00", "01", "08", "80", "88", "30", "31", "B9"})
        bytes += bytesFromHex(std::string("1B 21 ") + hex) + "Style Ab9" + gbk("样式") + "\n";
    for (int size = 0; size < 8; ++size)
        bytes += bytesFromHex("1D 21") + char(size * 16 + (7 - size)) + "W" + gbk("宽") + "\n";
    bytes += bytesFromHex("1D 21 00 1B 2D 02 1D 42 01 1B 20 03") + "Reverse " + gbk("反白") +
             bytesFromHex("1D 42 00 1B 2D 01 1B 20 00 1B 47 01") + " under" +
             bytesFromHex("1B 47 00 1B 2D 00 1B 24 00 01") + "@256\n";
    bytes += bytesFromHex("1C 53 02 04 1C 2D 02 1C 21 0C") + gbk("汉字") +
             bytesFromHex("1C 21 00 1C 2D 00 1C 57 01") + gbk("四倍") +
             bytesFromHex("1C 57 00 1C 53 00 00 1C 2E") + "\xD6\xD0" +
             bytesFromHex("1C 26 1B 61 01") + "centre\n" + bytesFromHex("1B 61 02") + "right\n";
    bytes += bytesFromHex(
        "1B 61 00 41 1B 2A 00 03 00 F0 0F AA 1B 2A 01 02 00 81 18 1B 2A 21 02 "
        "00 FF 00 FF 01 02 03 42 0A");
    for (const char* m : {"30", "31", "32", "33"})
        bytes +=
            bytesFromHex(std::string("1B 61 01 1D 76 30 ") + m + " 02 00 03 00 F0 0F 81 18 AA 55");
    bytes += bytesFromHex("1B 61 00 1D 48 03 1D 66 01 1D 68 30") + barcode(73, "{BStyle-1");
    bytes += bytesFromHex("1B 7A 41 0A 1D 56 00");
    return bytes;
}

// The major version of the Debian release this runs on, as /etc/os-release gives it; empty
// elsewhere.
std::string debianRelease() {
    std::ifstream file("/etc/os-release");
    std::string line, id, version;
    while (std::getline(file, line)) {
        if (line.starts_with("ID=")) id = line.substr(3);
        if (line.starts_with("VERSION_ID=")) version = line.substr(11);
    }
    std::erase(version, '"');
    return id == "debian" ? version.substr(0, version.find('.')) : "";
}

// The pictures of everything the tests print, as they were drawn when the renderer was made
// to draw into one bit: a change of a single dot in any of them shows here. A stream's
// pictures are listed one after another. VP_PICTURES_OUT=DIR writes them as PNG files there
// and prints this table afresh; VP_EXTRA_STREAMS=DIR draws the .bin files there too.
TEST(Renderer, DrawsEveryStreamAsBefore) {
    if (!vp::ReceiptRenderer::missingFonts().isEmpty()) GTEST_SKIP() << "fonts missing";
    struct Stream {
        std::string name, bytes;
    };
    std::vector<Stream> streams = {{"technician", technicianBannerPhase() + technicianTextPhase()},
                                   {"every style", everyStyle()}};
    auto addFolder = [&](const QString& folder) {
        for (const QString& file : QDir(folder).entryList({QStringLiteral("*.bin")}, QDir::Files))
            streams.push_back({file.toStdString(), readFile((folder + "/" + file).toStdString())});
    };
    addFolder(QStringLiteral(LIBRARY_STREAMS));
    if (const char* extra = std::getenv("VP_EXTRA_STREAMS")) addFolder(QString(extra));
    for (const DiagnosticPageInfo& info : diagnosticPages())
        streams.push_back({"page " + std::string(info.key),
                           diagnosticPageStream(info.page, {"/dev/pts/9", "2026-12-08 19:05:31"})});
    std::map<std::string, std::vector<std::string>> expected = {
        {"technician", {"640x648 ink 11548 eb68236133ea893c"}},
        {"every style", {"640x1428 ink 44169 7023e33b6dae2f47", "640x46 ink 900 bc69c703a03ac7a1"}},
        {"encoder-58mm.bin", {"464x573 ink 31244 63b33dc177ce172d"}},
        {"encoder-column.bin", {"640x752 ink 52149 5c1937781d77af89"}},
        {"encoder-raster.bin", {"640x920 ink 53979 5d8bb2a2f5eaf7f3"}},
        {"esc-pos-encoder-3.bin", {"640x486 ink 25940 548051f2f912fdf9"}},
        {"escpos-buffer.bin", {"640x507 ink 52032 ea6ee3883103cb1b"}},
        {"escpos.bin", {"640x536 ink 40685 59fc6ed6fd93665a"}},
        {"node-escpos.bin", {"640x644 ink 55071 0232cc4d8d39044e"}},
        {"receiptline-escpos-58mm.bin", {"464x549 ink 48544 bbdcafe96b078a1b"}},
        {"receiptline-escpos.bin", {"640x866 ink 60304 97a396f01bd3a8c5"}},
        {"receiptline-generic-58mm.bin", {"464x496 ink 31146 a0f60e9ff05f1b2e"}},
        {"receiptline-impact.bin", {"640x208 ink 20090 1e8679c10d1ba512"}},
        {"receiptline-multilingual.bin", {"640x420 ink 17822 a3cdace33e01826f"}},
        {"thermal-printer-china.bin", {"640x1001 ink 54121 56fa8f6c8e579b85"}},
        {"thermal-printer-europe.bin", {"640x526 ink 16691 9123b80e38608f3b"}},
        {"page charset", {"640x1294 ink 37531 cdc50c759567824c"}},
        {"page codepages", {"640x3844 ink 138123 cad63943f7762a6a"}},
        {"page images", {"640x1210 ink 55185 2bfb22562c5ed7ea"}},
        {"page barcodes", {"640x3065 ink 139732 19f521243e09037d"}},
        {"page layout", {"640x1924 ink 68281 98b3af092bffc17c"}},
        {"page selftest",
         {"640x1054 ink 30008 0d98e795a04f3340", "640x136 ink 824 ab207524af118a3d"}},
        {"page hexdump", {"640x408 ink 15477 2f1aa0a89d2ec930"}},
    };
    // Debian 13's fonts and rasteriser put some glyphs' dots a little differently.
    const std::map<std::string, std::vector<std::string>> debian13 = {
        {"technician", {"640x648 ink 11519 7fdd3e772509c2c4"}},
        {"every style", {"640x1428 ink 43953 e4f61e6f8421b175", "640x46 ink 900 bc69c703a03ac7a1"}},
        {"encoder-raster.bin", {"640x920 ink 54003 0ec5271d307e7bbf"}},
        {"escpos.bin", {"640x536 ink 40692 2fda562227e8f8d4"}},
        {"node-escpos.bin", {"640x644 ink 55078 27c624e1f7f38b0c"}},
        {"receiptline-escpos-58mm.bin", {"464x549 ink 48549 a8d4f974212bc34a"}},
        {"receiptline-escpos.bin", {"640x866 ink 60305 5004d141c322c15e"}},
        {"receiptline-generic-58mm.bin", {"464x496 ink 31138 3808e7a3ea806101"}},
        {"thermal-printer-china.bin", {"640x1001 ink 54123 92c4b009467dd74f"}},
        {"page charset", {"640x1294 ink 37467 843fd1f3323cf63f"}},
        {"page codepages", {"640x3844 ink 138102 aff2e87314110458"}},
        {"page images", {"640x1210 ink 55149 b9b324c62ec7dfbf"}},
        {"page barcodes", {"640x3065 ink 139717 98877e51d47c1f61"}},
        {"page layout", {"640x1924 ink 68223 fddd6e518e3b1fd1"}},
        {"page selftest",
         {"640x1054 ink 30000 db1d00717b340d69", "640x136 ink 824 ab207524af118a3d"}},
        {"page hexdump", {"640x408 ink 15455 0a2856507f46fb1c"}},
    };
    const std::string release = debianRelease();
    if (release == "13") {
        for (const auto& [name, pictures] : debian13) expected[name] = pictures;
    } else if (release != "12") {
        GTEST_SKIP() << "the pictures were taken with Debian 12's and 13's fonts, not on this "
                        "system's ("
                     << (release.empty() ? "not Debian" : "Debian " + release)
                     << "); VP_PICTURES_OUT=DIR prints its table";
    }
    const char* out = std::getenv("VP_PICTURES_OUT");
    for (const Stream& stream : streams) {
        const Paper paper = stream.name.find("58mm") != std::string::npos ? Paper::millimetres58()
                                                                          : Paper::millimetres80();
        std::vector<std::string> drawn;
        for (const QImage& picture : render(stream.bytes, paper)) {
            drawn.push_back(fingerprint(picture));
            if (out) {
                vp::savePicture(picture, QString("%1/%2-%3.png")
                                             .arg(out, QString::fromStdString(stream.name))
                                             .arg(drawn.size()));
            }
        }
        if (out) {
            std::printf("        {\"%s\",\n         {", stream.name.c_str());
            for (std::size_t i = 0; i < drawn.size(); ++i)
                std::printf("%s\"%s\"", i > 0 ? ", " : "", drawn[i].c_str());
            std::printf("}},\n");
        }
        const auto found = expected.find(stream.name);
        if (found != expected.end()) {
            EXPECT_EQ(drawn, found->second) << stream.name;
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // Pictures only: no display needed, also when the test runner lists the tests.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    if (const QStringList missing = vp::ReceiptRenderer::missingFonts(); !missing.isEmpty())
        std::fprintf(stderr, "fonts missing: %s\n", qPrintable(missing.join(", ")));
    return RUN_ALL_TESTS();
}
