// The virtual printer's costs: decoder throughput on the tester's real receipt streams, and
// the time to draw one receipt and to write it as PNG.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "fake_host.h"
#include "paper_roll.h"
#include "pseudo_terminal.h"
#include "receipt_renderer.h"
#include "receipts.h"

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
    std::string big;
    while (big.size() < 32u << 20) big += all;
    const auto start = Clock::now();
    vp::PaperRoll roll(paper);
    for (std::size_t at = 0; at < big.size(); at += 4096) {
        roll.feed(std::string_view(big).substr(at, 4096));
        roll.takeFinished();
    }
    roll.endOfStream();
    const double seconds = millisecondsSince(start) / 1000;
    std::printf("decoder: %.1f MB/s (%.0f MB of receipts in 4 KiB reads, %.2f s)\n",
                double(big.size()) / 1e6 / seconds, double(big.size()) / 1e6, seconds);

    QTemporaryDir dir;
    for (const Stream& stream : streams) {
        // A renderer of its own, so that the first drawing shows the cost of a cold glyph cache.
        vp::ReceiptRenderer renderer(paper);
        vp::PaperRoll one(paper);
        one.feed(stream.bytes);
        one.endOfStream();
        const vp::Receipt receipt = one.takeFinished().front();
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
    return 0;
}
