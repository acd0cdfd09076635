#include "sample_streams.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "temp_files.h"

std::string gbk(const std::string& utf8) {
    iconv_t converter = iconv_open("CP936", "UTF-8");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    char* to = out.data();
    std::size_t inLeft = utf8.size(), outLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("no GBK for " + utf8);
    out.resize(out.size() - outLeft);
    return out;
}

std::string technicianBannerPhase() {
    return bytesFromHex("1B 40 1B 21 2D 1C 21 38 1C 21 2D") + gbk("溪禾云岫信息") + "\n" +
           bytesFromHex("1C 21 01 1B 21 01");
}

std::string technicianTextPhase() {
    const char* lines[] = {
        "时期:2026-12-08 时间:09:41:27",
        "===============================",
        "       技  术:  柯  岚",
        "       手  机:13900000000",
        "     Q  Q :10001",
        "   工作QQ :10002",
        "   邮  箱 :tech@example.com",
        "  打印机测试:",
        "    ①.打印机联机",
        "    ②.打印头",
        "    ③.打印机汉字库",
        "  恭喜!恭喜!打印机测试完毕!",
        "      该打印机工作正常!",
        "===============================",
        "欢迎下次光临！",
        " ",
    };
    std::string text;
    for (const char* line : lines) text += gbk(line) + "\r\n";
    return text + "\n\r\n\n\r\n";
}

namespace {

// What a reading program prints about a picture, nothing when it is missing.
std::string commandOutput(const std::string& command) {
    FILE* reader = popen(command.c_str(), "r");
    if (reader == nullptr) return {};
    std::string output;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, reader) != nullptr) output += chunk;
    pclose(reader);
    return output;
}

}  // namespace

std::string scanBarcode(const std::string& pngPath) {
    std::string found = commandOutput("zbarimg -q --raw '" + pngPath + "' 2>/dev/null");
    while (!found.empty() && found.back() == '\n') found.pop_back();
    return found;
}

std::vector<std::string> scanBarcodes(const std::string& pngPath) {
    std::vector<std::string> found;
    std::istringstream lines(commandOutput("zbarimg -q '" + pngPath + "' 2>/dev/null"));
    for (std::string line; std::getline(lines, line);) found.push_back(line);
    return found;
}

std::vector<std::string> scanSymbols(const std::string& pngPath) {
    std::vector<std::string> found;
    std::istringstream lines(commandOutput("ZXingReader '" + pngPath + "' 2>/dev/null"));
    std::string text;
    for (std::string line; std::getline(lines, line);) {
        auto value = [&](const char* key) -> std::optional<std::string> {
            if (!line.starts_with(key)) return std::nullopt;
            const std::size_t start = line.find_first_not_of(' ', std::strlen(key));
            return start == std::string::npos ? std::string() : line.substr(start);
        };
        if (auto quoted = value("Text:")) {
            text = quoted->size() >= 2 ? quoted->substr(1, quoted->size() - 2) : *quoted;
        } else if (auto format = value("Format:")) {
            found.push_back(*format + ":" + text);
        }
    }
    return found;
}

std::string readText(const std::string& pngPath) {
    // One thread: its OpenMP threads spin and run several times slower on a busy machine.
    return commandOutput("OMP_THREAD_LIMIT=1 tesseract '" + pngPath +
                         "' - -l chi_sim --psm 6 2>/dev/null");
}

std::pair<int, int> pngSize(const std::string& pngPath) {
    const std::string header = readFile(pngPath).substr(0, 24);
    if (header.size() < 24) return {0, 0};
    auto big = [&](std::size_t at) {
        int value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = value * 256 + (unsigned char)header[at + i];
        return value;
    };
    return {big(16), big(20)};
}

namespace {

std::string utf8(std::u32string_view text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string describe(const vp::Run& run) {
    std::string text = run.kind == vp::Run::Kind::Marker   ? "m"
                       : run.kind == vp::Run::Kind::Double ? "k"
                       : run.style.font == vp::Font::A     ? "a"
                                                           : "b";
    if (run.style.emphasised) text += "E";
    if (run.style.underline) (text += "U") += std::to_string(run.style.underline);
    if (run.style.reverse) text += "R";
    if (run.style.widthScale != 1 || run.style.heightScale != 1)
        text += std::to_string(run.style.widthScale) + "x" + std::to_string(run.style.heightScale);
    return text + "@" + std::to_string(run.x) + "/" + std::to_string(run.pitch) + "\"" +
           utf8(run.text) + "\"";
}

// Printed size, then the scale when it is not 1 × 1.
std::string describe(const vp::Bitmap& bitmap) {
    std::string text =
        std::to_string(bitmap.printedWidth()) + "x" + std::to_string(bitmap.printedHeight());
    if (bitmap.widthScale != 1 || bitmap.heightScale != 1)
        text += " (" + std::to_string(bitmap.widthScale) + "x" +
                std::to_string(bitmap.heightScale) + ")";
    return text;
}

}  // namespace

std::string describe(const std::vector<vp::Item>& items) {
    std::string text;
    for (const vp::Item& item : items) {
        if (!text.empty()) text += "\n";
        text += std::visit(
            vp::Overloaded{
                [](const vp::PrintedLine& line) {
                    std::string described = "line " + std::to_string(line.height) + "/" +
                                            std::to_string(line.inkHeight);
                    for (const vp::Run& run : line.runs) (described += " ") += describe(run);
                    for (const vp::LineImage& image : line.images)
                        described += " i@" + std::to_string(image.x) + "/" + describe(image.bitmap);
                    return described;
                },
                [](const vp::Barcode& barcode) {
                    return "barcode " + barcode.symbology + " x" + std::to_string(barcode.x) +
                           " w" + std::to_string(barcode.barsWidth()) + " h" +
                           std::to_string(barcode.height) + " \"" + barcode.text + "\"";
                },
                [](const vp::ImageBlock& image) {
                    return "image x" + std::to_string(image.x) + " " + describe(image.bitmap);
                },
                [](const vp::Cut& cut) {
                    return std::string(cut.partial ? "cut partial" : "cut full");
                },
                [](const vp::Event& event) { return "event " + event.text; },
            },
            item);
    }
    return text;
}
