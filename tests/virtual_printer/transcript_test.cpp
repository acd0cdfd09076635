#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <sstream>

#include "child_program.h"
#include "golden_receipts.h"
#include "printer_engine.h"
#include "sample_streams.h"
#include "temp_files.h"
#include "transcript.h"

namespace {

using namespace std::chrono_literals;

const std::string library = LIBRARY_STREAMS;

std::vector<vp::Receipt> receipts(const std::vector<std::string>& pieces,
                                  vp::Paper paper = vp::Paper::millimetres80()) {
    vp::RecordingSink sink;
    vp::PrinterEngine roll(paper, sink);
    for (const std::string& piece : pieces) roll.feed(piece);
    roll.endOfStream();
    return sink.takeReceipts();
}

std::string transcripts(const std::vector<std::string>& pieces, vp::Paper paper) {
    std::string all;
    for (const vp::Receipt& receipt : receipts(pieces, paper))
        all += vp::transcriptJson(receipt) + vp::transcriptText(receipt);
    return all;
}

vp::Paper paperOf(const std::string& stream) {
    return stream.find("58mm") != std::string::npos ? vp::Paper::millimetres58()
                                                    : vp::Paper::millimetres80();
}

// Rows `top` to `top + height` of a black-and-white picture as a printer's bitmap.
vp::Bitmap dotsOf(const QImage& picture, int top, int height) {
    vp::Bitmap bitmap;
    bitmap.width = picture.width();
    bitmap.height = height;
    bitmap.rows.assign(static_cast<std::size_t>(bitmap.rowBytes() * height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < bitmap.width; ++x)
            if (qGray(picture.pixel(x, top + y)) < 128)
                bitmap.rows[static_cast<std::size_t>(y * bitmap.rowBytes() + x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    return bitmap;
}

// The receipts of npm's ESC/POS libraries: their transcripts hold the text the library sent,
// each code's data as its command carried it (the manifest's text, or a 1-D code's
// human-readable text) and the logo's dots, whole or in the 24-dot strips of ESC *.
TEST(Transcripts, HoldWhatEachLibrarySent) {
    struct Expected {
        const char* stream;
        const char* line;
        bool symbolsAsPictures;  // QR codes sent as graphics: no data to carry
    };
    const Expected table[] = {
        {"receiptline-escpos.bin", "合计 ￥58.50", true},
        {"receiptline-generic-58mm.bin", "发票号码 08827315", true},
        {"receiptline-multilingual.bin", "Grüße aus Zürich 3,20 €", true},
        {"receiptline-escpos-58mm.bin", "鲜榨橙汁 ￥12.00", true},
        {"encoder-raster.bin", "Борщ                9,90 €", false},
        {"encoder-column.bin", "Total: 58.50", false},
        {"encoder-58mm.bin", "Cappuccino                 3,10", false},
        {"thermal-printer-china.bin", "溪禾茶饮", false},
        {"thermal-printer-europe.bin", "Пирожок 0,90 €", false},
        {"escpos-buffer.bin", "Cafe com leite      R$ 5,00", false},
        {"escpos.bin", "招牌奶茶 x2     36.00", true},
        {"node-escpos.bin", "柠檬绿茶 x1     15.00", true},
    };
    std::multimap<std::string, std::pair<std::string, std::string>> manifest;
    std::istringstream lines(readFile(library + "/library-streams.tsv"));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
        manifest.emplace(line.substr(0, tab), std::pair{line.substr(tab + 1, second - tab - 1),
                                                        line.substr(second + 1)});
    }
    const QImage logo(QString::fromStdString(library + "/logo.png"));
    ASSERT_FALSE(logo.isNull());
    const std::string wholeLogo = vp::dotsHash(dotsOf(logo, 0, logo.height()));

    for (const Expected& expected : table) {
        SCOPED_TRACE(expected.stream);
        std::vector<std::string> texts, data, hashes;
        for (const vp::Receipt& receipt :
             receipts({readFile(library + "/" + expected.stream)}, paperOf(expected.stream))) {
            const QJsonDocument json =
                QJsonDocument::fromJson(QByteArray::fromStdString(vp::transcriptJson(receipt)));
            ASSERT_EQ(json["format"].toInt(), 1);
            for (const QJsonValue value : json["items"].toArray()) {
                const QJsonObject item = value.toObject();
                const QString type = item["type"].toString();
                auto keep = [&](std::vector<std::string>& into, const char* key) {
                    into.push_back(item[QLatin1String(key)].toString().toStdString());
                };
                if (type == "line") keep(texts, "text");
                if (type == "symbol" || type == "barcode") keep(data, "data");
                if (type == "barcode") keep(data, "text");
                if (type == "picture") keep(hashes, "hash");
                for (const QJsonValue image : item["images"].toArray())
                    hashes.push_back(image["hash"].toString().toStdString());
            }
        }
        auto has = [](const std::vector<std::string>& all, const std::string& one) {
            return std::find(all.begin(), all.end(), one) != all.end();
        };
        EXPECT_TRUE(has(texts, expected.line)) << expected.line;
        const auto [from, to] = manifest.equal_range(expected.stream);
        ASSERT_NE(from, to);
        for (auto code = from; code != to; ++code) {
            const auto& [symbology, text] = code->second;
            if (symbology == "logo") {
                bool strips = true;
                for (int top = 0; top < logo.height(); top += 24)
                    strips = strips && has(hashes, vp::dotsHash(dotsOf(logo, top, 24)));
                EXPECT_TRUE(has(hashes, wholeLogo) || strips) << "the logo's dots";
            } else if (!(expected.symbolsAsPictures && symbology == "QRCode")) {
                EXPECT_TRUE(has(data, text)) << symbology << " " << text;
            }
        }
    }
}

// The same stream gives the same transcripts byte for byte, however it arrives.
TEST(Transcripts, AreTheSameHoweverTheStreamIsSplit) {
    for (const char* stream : {"receiptline-escpos.bin", "encoder-column.bin",
                               "thermal-printer-china.bin", "escpos-buffer.bin"}) {
        SCOPED_TRACE(stream);
        const std::string bytes = readFile(library + "/" + stream);
        const std::string whole = transcripts({bytes}, paperOf(stream));
        ASSERT_NE(whole.find("\"format\": 1"), std::string::npos);
        EXPECT_EQ(transcripts({bytes}, paperOf(stream)), whole);
        std::vector<std::string> bytewise, uneven;
        for (char byte : bytes) bytewise.emplace_back(1, byte);
        for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 7 % 61 + 1)
            uneven.push_back(bytes.substr(at, step));
        EXPECT_EQ(transcripts(bytewise, paperOf(stream)), whole);
        EXPECT_EQ(transcripts(uneven, paperOf(stream)), whole);
    }
}

TEST(Transcripts, WriteEveryKindOfItem) {
    const std::string stream = bytesFromHex("1B 61 01") + "AB" + bytesFromHex("1B 24 64 00") +
                               "C\n" +                                    // a gap
                               bytesFromHex("10 04 01 1B 70 00 32 32") +  // reply, pulse
                               bytesFromHex("1D 6B 04 2A 41 2A 00") +     // CODE39 "*A*"
                               bytesFromHex("1B 69");
    std::vector<vp::Receipt> printed = receipts({stream});
    ASSERT_EQ(printed.size(), 1u);
    vp::Run marker;
    marker.kind = vp::Run::Kind::Marker;
    marker.bytes = bytesFromHex("1B 7A");
    marker.text = U"1B 7A";
    marker.pitch = 60;
    printed[0].items.push_back(vp::PrintedLine{{marker}, 24, 30, {}});
    const std::string json = vp::transcriptJson(printed[0]);
    for (const char* part :
         {"\"align\": \"centre\", \"text\": \"AB C\"", "{\"x\": 0, \"marker\": \"1B 7A\"}",
          "{\"type\": \"reply\", \"y\": 30, \"text\": \"replied 12 to DLE EOT 1\", \"bytes\": "
          "\"12\"}",
          "{\"type\": \"drawer\", \"y\": 30, \"text\": \"drawer pin 2 on 100 ms off 100 ms\"}",
          "\"symbology\": \"CODE39\", \"data\": \"*A*\", \"text\": \"*A*\"",
          "{\"type\": \"cut\", \"y\": "})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    EXPECT_NE(vp::transcriptText(printed[0]).find("AB C\n"), std::string::npos)
        << vp::transcriptText(printed[0]);
    EXPECT_NE(vp::transcriptText(printed[0]).find("[cut partial]\n[1B 7A]\n"), std::string::npos);
}

TEST(Transcripts, EncodeDataAndDotsStably) {
    // FNV-1a's published value for "a", and bits past a bitmap's width left out.
    vp::Bitmap a{8, 1, 1, 1, {0x61}};
    EXPECT_EQ(vp::dotsHash(a), "fnv1a64:af63dc4c8601ec8c");
    EXPECT_EQ(vp::dotsHash(vp::Bitmap{0, 0, 1, 1, {}}), "fnv1a64:cbf29ce484222325");
    EXPECT_EQ(vp::dotsHash(vp::Bitmap{3, 1, 1, 1, {0xA0}}),
              vp::dotsHash(vp::Bitmap{3, 1, 1, 1, {0xBF}}));
    struct Case {
        std::string bytes;
        bool utf8;
        std::string json;
    };
    const Case cases[] = {
        {"plain \"q\" \\", true, R"("plain \"q\" \\")"},
        {"\n\t\x01\x7f", true, R"("\n\u0009\u0001\u007f")"},
        {"溪禾 €", true, "\"溪禾 €\""},
        {"\xC0\xAF", false, ""},          // an overlong slash
        {"\xED\xA0\x80", false, ""},      // a surrogate
        {"\xB2\xE2\xCA\xD4", false, ""},  // GBK
        {"\xE6\xBA", false, ""},          // cut short
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vp::isUtf8(c.bytes), c.utf8) << c.json;
        if (c.utf8) {
            EXPECT_EQ(vp::jsonString(c.bytes), c.json);
        }
    }
}

// Items are matched by what they hold: one line put in, left out or changed is one line.
TEST(GoldenReceipts, NameTheItemThatChanged) {
    auto json = [](const std::string& stream) {
        return QByteArray::fromStdString(vp::transcriptJson(receipts({stream + "\x1bi"})[0]));
    };
    const QByteArray golden = json("A\nB\nC\n");
    struct Case {
        std::string stream;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"A\nB\nC\n", {}},
        {"A\nX\nB\nC\n", {"item 2 put in: line \"X\" at y 30", "height 136 dots, was 106"}},
        {"A\nC\n", {"golden item 2 left out: line \"B\" at y 30", "height 76 dots, was 106"}},
        {"A\nD\nC\n",
         {"item 2 (line \"D\" at y 30): runs[0].text \"D\", was \"B\"; text \"D\", was \"B\""}},
        {"A\n" + bytesFromHex("1B 21 08") + "B\n" + bytesFromHex("1B 21 00") + "C\n",
         {"item 2 (line \"B\" at y 30): runs[0].emphasised true, was false"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vp::transcriptDifferences(golden, json(c.stream)), c.lines) << c.stream;
    EXPECT_EQ(vp::transcriptDifferences("{\"format\": 2}", golden),
              std::vector<std::string>{"the golden transcript is of format 2, this program "
                                       "writes format 1"});
}

// Standard output until the program ends, and its exit status.
std::pair<std::vector<std::string>, int> run(const std::vector<std::string>& arguments) {
    ChildProgram program(VIRTUAL_PRINTER, arguments);
    std::vector<std::string> lines;
    for (std::string line; (line = program.line(20000ms)) != "(nothing)";) lines.push_back(line);
    return {lines, program.wait()};
}

std::pair<std::vector<std::string>, int> expect(const std::string& stream,
                                                const std::string& golden,
                                                std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--render", stream, "--expect", golden});
    return run(more);
}

// Red and green dots of a difference picture.
std::pair<int, int> redAndGreen(const std::string& path) {
    const QImage picture(QString::fromStdString(path));
    int red = 0, green = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QColor dot = picture.pixelColor(x, y);
            red += dot.red() > 200 && dot.green() < 50;
            green += dot.green() > 150 && dot.red() < 50;
        }
    return {red, green};
}

bool contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    });
}

TEST(GoldenReceipts, FailOnOneByteOfTextOneQrCharacterOrOneDotOfTheLogo) {
    TempDir dir;
    const std::string original = readFile(library + "/encoder-raster.bin");
    const std::string cut = bytesFromHex("1B 69");
    writeFile(dir.path("stream.bin"), original + cut);
    const std::string golden = dir.path("golden"), stream = dir.path("stream.bin");
    auto [updating, updated] = expect(stream, golden, {"--update"});
    EXPECT_EQ(updated, 0);
    EXPECT_TRUE(contains(updating, "receipt-002: no golden receipt"));
    // Golden files are what --out writes.
    ASSERT_EQ(run({"--render", stream, "--out", dir.path("out")}).second, 0);
    for (const char* file : {"receipt-001.json", "receipt-002.json", "receipt-001.txt"})
        EXPECT_EQ(readFile(golden + "/" + file), readFile(dir.path("out/") + file)) << file;
    EXPECT_EQ(expect(stream, golden), std::make_pair(std::vector<std::string>{}, 0));

    const std::size_t text = original.find("au lait"), qr = original.find("pay.example");
    const std::size_t logo = original.find("\x1dv0");
    ASSERT_NE(text, std::string::npos);
    ASSERT_NE(qr, std::string::npos);
    ASSERT_NE(logo, std::string::npos);
    ASSERT_EQ(original[logo + 8] & 0x80, 0) << "the logo's top left corner is white";
    struct Change {
        std::size_t at;
        char byte;
        std::vector<std::string> parts;
        std::pair<int, int> redAndGreen;
    };
    const std::vector<Change> changes = {
        {text,
         'o',
         {"receipt-001: item ", "text \"Café ou lait        12,50 €\", was \"Café au lait"},
         {-1, -1}},
        {qr + 3,
         'X',
         {"(QR Code \"https://payXexample.cn/", "data \"https://payXexample.cn/qr/",
          ", was \"https://pay.example.cn/"},
         {-1, -1}},
        {logo + 8,
         char(original[logo + 8] | 0x80),
         {"receipt-001: item 1 (picture 320x96 at y 0): hash ",
          "receipt-001: picture: 0 dots removed, 1 added, shown in "},
         {0, 1}},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.parts[0]);
        std::string changed = original + cut;
        changed[change.at] = change.byte;
        writeFile(stream, changed);
        const auto [lines, status] = expect(stream, golden);
        EXPECT_EQ(status, 1);
        for (const std::string& part : change.parts) EXPECT_TRUE(contains(lines, part)) << part;
        EXPECT_TRUE(contains(lines, "receipt-001: picture: "));
        EXPECT_FALSE(contains(lines, "receipt-002"));
        const std::string diff = golden + "/receipt-001.diff.png";
        ASSERT_TRUE(fileExists(diff));
        const auto [red, green] = redAndGreen(diff);
        if (change.redAndGreen.first >= 0) {
            EXPECT_EQ(std::make_pair(red, green), change.redAndGreen);
        } else {
            EXPECT_GT(red, 0);
            EXPECT_GT(green, 0);
        }
    }

    // A receipt more or fewer is a difference; --out takes the pictures of what differs.
    writeFile(stream, original + cut + cut);
    auto [extra, extraStatus] = expect(stream, golden, {"--out", dir.path("now")});
    EXPECT_EQ(extraStatus, 1);
    EXPECT_TRUE(contains(extra, "receipt-003: no golden receipt"));
    EXPECT_TRUE(fileExists(dir.path("now/receipt-003.json")));
    EXPECT_FALSE(fileExists(dir.path("now/receipt-001.json"))) << "it matched";
    writeFile(stream, original);
    EXPECT_EQ(expect(stream, golden),
              std::make_pair(std::vector<std::string>{"receipt-002: golden receipt not printed: "
                                                      "the stream printed 1 receipt"},
                             1));

    // --update takes what printed now: the same stream then matches, its old picture gone.
    std::string changed = original;
    changed[text] = 'o';
    writeFile(stream, changed);
    EXPECT_EQ(expect(stream, golden).second, 1);
    EXPECT_EQ(expect(stream, golden, {"--update"}).second, 0);
    EXPECT_EQ(expect(stream, golden), std::make_pair(std::vector<std::string>{}, 0));
    EXPECT_FALSE(fileExists(golden + "/receipt-001.diff.png"));
    EXPECT_FALSE(fileExists(golden + "/receipt-002.json"));
}

}  // namespace
