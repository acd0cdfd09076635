// The virtual printer's costs: decoder throughput on the tester's real receipt streams and on
// the receipts of point-of-sale libraries (logos and 2-D symbols), the time to draw one
// receipt and to write it as PNG, and a receipt with a full-width logo and a QR code.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "fake_host.h"
#include "printer_engine.h"
#include "pseudo_terminal.h"
#include "receipt_renderer.h"
#include "receipts.h"
#include "temp_files.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Megabytes a second of processor time that the decoder takes in of `bytes`, repeated to 32 MB
// and fed in 4 KiB reads: the median and the best of five rounds, as this machine's speed varies
// from one second to the next.
struct Throughput {
    double median, best;
};

Throughput decoderThroughput(const std::string& bytes, vp::Paper paper) {
    std::string big;
    while (big.size() < 32u << 20) big += bytes;
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        const double start = processorSeconds();
        vp::RecordingSink sink;
        vp::PrinterEngine roll(paper, sink);
        for (std::size_t at = 0; at < big.size(); at += 4096) {
            roll.feed(std::string_view(big).substr(at, 4096));
            sink.takeReceipts();
        }
        roll.endOfStream();
        rounds.push_back(double(big.size()) / 1e6 / (processorSeconds() - start));
    }
    return {median(rounds), *std::max_element(rounds.begin(), rounds.end())};
}

// A shop's receipt: a 576 × 200 logo across the paper (GS v 0), ten lines of Chinese text, a
// payment QR code (GS ( k, six dots a module) and a cut.
std::string logoAndQrReceipt() {
    constexpr int width = 576, height = 200;
    std::string bytes = "\x1B@\x1B\x61\x01\x1D\x76\x30";
    bytes += '\0';
    bytes += char(width / 8);
    bytes += '\0';
    bytes += char(height % 256);
    bytes += char(height / 256);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += 8) {
            int byte = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int dx = x + bit - width / 2, dy = y - height / 2;
                const bool ring = (dx * dx + dy * dy) / 400 % 2 == 0;
                const bool stripe = (x + bit + y) % 16 < 5;
                if (ring != stripe) byte |= 0x80 >> bit;
            }
            bytes += char(byte);
        }
    // 溪禾茶饮 南山店 in GBK, and a line of digits.
    const std::string line =
        "\xCF\xAA\xBA\xCC\xB2\xE8\xD2\xFB \xC4\xCF\xC9\xBD\xB5\xEA 0123456789\n";
    for (int i = 0; i < 10; ++i) bytes += line;
    const std::string url = "https://pay.example.cn/qr/20261208-0001?amount=58.50&shop=XH01";
    auto qr = [&](char fn, std::string parameters) {
        const std::size_t length = parameters.size() + 2;
        bytes += "\x1D(k";
        bytes += char(length % 256);
        bytes += char(length / 256);
        bytes += '1';
        bytes += fn;
        bytes += parameters;
    };
    qr('A', std::string("2\0", 2));
    qr('C', "\x06");
    qr('E', "1");
    qr('P', "0" + url);
    qr('Q', "0");
    bytes += "\n\x1DVB";
    bytes += '\0';
    return bytes;
}

// How a receipt was written as PNG before: Qt's general conversion to one bit, then zlib's
// default level. Kept here to measure against.
bool savePictureAsBefore(const QImage& picture, const QString& path) {
    return picture.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither).save(path, "PNG");
}

using Save = bool (*)(const QImage&, const QString&);

// Milliseconds of processor time, the median of `rounds`, to decode `bytes`, draw every receipt
// in it and write each as PNG with `save`.
double pictureMilliseconds(const std::string& bytes, vp::Paper paper, Save save, int rounds,
                           const QString& path) {
    vp::ReceiptRenderer renderer(paper);
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double start = processorSeconds();
        vp::RecordingSink sink;
        vp::PrinterEngine roll(paper, sink);
        roll.feed(bytes);
        roll.endOfStream();
        for (const vp::Receipt& receipt : sink.takeReceipts()) save(renderer.render(receipt), path);
        times.push_back((processorSeconds() - start) * 1000);
    }
    return median(times);
}

// 200 lines of an item, its count and price: 640 x 6016 dots on 80 mm paper.
std::string twoHundredLineReceipt() {
    std::string bytes = "\x1B@";
    for (int i = 0; i < 200; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%03d Jasmine tea, large      x%d   %6.2f\n", i, i % 9 + 1,
                      (i % 9 + 1) * 12.5);
        bytes += line;
    }
    return bytes + "\x1DVB" + std::string(1, '\0');
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    const vp::Paper paper = vp::Paper::millimetres80();

    // The bytes the tester really writes, caught at a terminal.
    struct Stream {
        const char* name;
        std::string bytes;
    };
    std::vector<Stream> streams;
    PseudoTerminal terminal;
    FakeHost host;
    host.port = terminal.slavePath;
    const struct {
        const char* name;
        ReceiptVariant (*variant)();
    } receipts[] = {{"technician", TechnicianReceipt},
                    {"welcome", WelcomeReceipt},
                    {"brochure", BrochureReceipt}};
    for (const auto& receipt : receipts) {
        TestReceiptJob(host, receipt.variant());
        streams.push_back({receipt.name, terminal.readAll()});
    }

    std::string all;
    for (const Stream& stream : streams) all += stream.bytes;
    const Throughput tester = decoderThroughput(all, paper);
    std::printf(
        "decoder, the tester's receipts: median %.1f MB/s, best %.1f MB/s of processor time "
        "(5 rounds of 32 MB in 4 KiB reads)\n",
        tester.median, tester.best);
    std::string library;
    for (const char* name : {"receiptline-escpos", "encoder-raster", "encoder-column",
                             "thermal-printer-china", "receiptline-multilingual"})
        library += readFile(std::string(LIBRARY_STREAMS) + "/" + name + ".bin");
    const Throughput libraries = decoderThroughput(library, paper);
    std::printf(
        "decoder, library receipts with logos and 2-D symbols: median %.1f MB/s, best %.1f MB/s "
        "of processor time\n",
        libraries.median, libraries.best);

    QTemporaryDir dir;
    for (const Stream& stream : streams) {
        // A renderer of its own, so that the first drawing shows the cost of a cold glyph cache.
        vp::ReceiptRenderer renderer(paper);
        vp::RecordingSink oneSink;
        vp::PrinterEngine one(paper, oneSink);
        one.feed(stream.bytes);
        one.endOfStream();
        const vp::Receipt receipt = oneSink.takeReceipts().front();
        std::vector<double> draw, save;
        for (int i = 0; i < rounds; ++i) {
            auto began = Clock::now();
            const QImage picture = renderer.render(receipt);
            draw.push_back(millisecondsSince(began));
            began = Clock::now();
            vp::savePicture(picture, dir.filePath(QStringLiteral("receipt.png")));
            save.push_back(millisecondsSince(began));
        }
        std::printf(
            "render %-10s: %.2f ms to draw (first %.2f ms), %.2f ms to write PNG; "
            "median of %d, %d dots tall\n",
            stream.name, median(draw), draw.front(), median(save), rounds, receipt.heightDots());
    }
    {
        const std::string bytes = logoAndQrReceipt();
        vp::ReceiptRenderer renderer(paper);
        std::vector<double> times;
        int tall = 0;
        for (int i = 0; i < rounds; ++i) {
            const auto began = Clock::now();
            vp::RecordingSink oneSink;
            vp::PrinterEngine one(paper, oneSink);
            one.feed(bytes);
            one.endOfStream();
            const vp::Receipt receipt = oneSink.takeReceipts().front();
            const QImage picture = renderer.render(receipt);
            times.push_back(millisecondsSince(began));
            tall = picture.height();
        }
        std::printf(
            "576 x 200 logo and QR code: %.2f ms to decode and draw (first %.2f ms); median of "
            "%d, %d dots tall\n",
            median(times), times.front(), rounds, tall);
    }
    // Side by side, processor time: the picture as written before and as written now.
    std::string libraryReceipt = readFile(std::string(LIBRARY_STREAMS) + "/receiptline-escpos.bin");
    const QString path = dir.filePath(QStringLiteral("side-by-side.png"));
    const struct {
        const char* name;
        std::string bytes;
        double target;
    } cases[] = {{"200 text lines, 640 x 6016", twoHundredLineReceipt(), 4.0},
                 {"library receipt (receiptline)", libraryReceipt, 1.5}};
    for (const auto& one : cases) {
        const double before =
            pictureMilliseconds(one.bytes, paper, savePictureAsBefore, rounds, path);
        const double now = pictureMilliseconds(one.bytes, paper, vp::savePicture, rounds, path);
        std::printf(
            "%-30s: decode, draw, write PNG: before %.2f ms, now %.2f ms (%.1fx), target "
            "%.1f ms\n",
            one.name, before, now, before / now, one.target);
    }
    {
        // A 50 MB capture of the tester's receipts, timed on a share of it and scaled up.
        const std::size_t captureBytes = 50u << 20;
        constexpr int share = 20;
        std::string some;
        for (int i = 0; i < share; ++i) some += streams[std::size_t(i) % streams.size()].bytes;
        const double scale = double(captureBytes) / double(some.size()) / 1000;
        const double before =
            pictureMilliseconds(some, paper, savePictureAsBefore, 3, path) * scale;
        const double now = pictureMilliseconds(some, paper, vp::savePicture, 3, path) * scale;
        std::printf(
            "50 MB capture of the tester's receipts (%d timed, scaled): before %.0f s, now %.0f s, "
            "target 30 s\n",
            share, before, now);
        std::printf(
            "decoder, the tester's receipts: median %.1f MB/s of processor time, target 100 MB/s "
            "(side by side with an earlier decoder: bench/decoder_against.sh)\n",
            tester.median);
    }
    return 0;
}
