// Megabytes a second of processor time that the virtual printer's decoder takes in: the streams
// named on the command line, one after the other, repeated to 32 MB and fed in 4 KiB reads, as
// a printer's connection delivers them, with each receipt dropped as it ends. Written against
// the engine's oldest interface, so that decoder_against.sh can build it with an earlier
// revision's decoder too.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "bench_support.h"
#include "printer_engine.h"

int main(int argc, char** argv) {
    std::string stream;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "decoder_throughput: cannot read %s\n", argv[i]);
            return 2;
        }
        stream.append(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (stream.empty()) {
        std::fprintf(stderr, "usage: decoder_throughput STREAM...\n");
        return 2;
    }
    std::string big;
    while (big.size() < 32u << 20) big += stream;
    vp::RecordingSink sink;
    vp::PrinterEngine engine(vp::Paper::millimetres80(), sink);
    const double start = processorSeconds();
    for (std::size_t at = 0; at < big.size(); at += 4096) {
        engine.feed(std::string_view(big).substr(at, 4096));
        sink.takeReceipts();
    }
    engine.endOfStream();
    std::printf("%.1f\n", double(big.size()) / 1e6 / (processorSeconds() - start));
    return 0;
}
