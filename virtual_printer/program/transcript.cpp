#include "transcript.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vp {

namespace {

const char* alignName(Align align) {
    return align == Align::Centre ? "centre" : align == Align::Right ? "right" : "left";
}

const char* hriName(HriPosition hri) {
    switch (hri) {
        case HriPosition::Above:
            return "above";
        case HriPosition::Below:
            return "below";
        case HriPosition::Both:
            return "both";
        default:
            return "none";
    }
}

const char* fontName(const Run& run) {
    if (run.kind == Run::Kind::Double) return "kanji";
    return run.style.font == Font::B ? "B" : "A";
}

std::string allHex(std::string_view bytes) {
    return hexBytes(bytes, bytes.size());
}

std::string pair(int first, int second) {
    return std::string("[") + std::to_string(first) + ", " + std::to_string(second) + "]";
}

// One JSON object on one line, its members in the order they are added.
class Object {
public:
    Object& json(std::string_view key, const std::string& value) {
        text_ += text_.empty() ? "{" : ", ";
        text_ += jsonString(key) + ": " + value;
        return *this;
    }
    Object& number(std::string_view key, int value) { return json(key, std::to_string(value)); }
    Object& flag(std::string_view key, bool value) { return json(key, value ? "true" : "false"); }
    Object& text(std::string_view key, std::string_view value) {
        return json(key, jsonString(value));
    }
    // Bytes a command carried: as text where they are UTF-8, else as hexadecimal pairs.
    Object& data(std::string_view bytes) {
        return isUtf8(bytes) ? text("data", bytes) : text("data_hex", allHex(bytes));
    }
    Object& picture(const Bitmap& bitmap) {
        return number("width", bitmap.printedWidth())
            .number("height", bitmap.printedHeight())
            .json("scale", pair(bitmap.widthScale, bitmap.heightScale))
            .text("hash", dotsHash(bitmap));
    }
    std::string done() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

std::string array(const std::vector<std::string>& elements) {
    std::string text = "[";
    for (const std::string& element : elements) {
        if (text.size() > 1) text += ", ";
        text += element;
    }
    return text + "]";
}

std::string runJson(const Run& run) {
    Object object;
    object.number("x", run.x);
    if (run.kind == Run::Kind::Marker) return object.text("marker", allHex(run.bytes)).done();
    return object.text("text", utf8(run.text))
        .text("font", fontName(run))
        .json("scale", pair(run.style.widthScale, run.style.heightScale))
        .number("pitch", run.pitch)
        .flag("emphasised", run.style.emphasised)
        .number("underline", run.style.underline)
        .flag("reverse", run.style.reverse)
        .done();
}

std::string itemJson(const Item& item, int y) {
    Object object;
    std::visit(
        Overloaded{
            [&](const PrintedLine& line) {
                if (line.blank()) {
                    object.text("type", "feed").number("y", y).number("height", line.height);
                    return;
                }
                std::vector<std::string> runs, images;
                for (const Run& run : line.runs) runs.push_back(runJson(run));
                for (const LineImage& image : line.images)
                    images.push_back(Object().number("x", image.x).picture(image.bitmap).done());
                object.text("type", "line")
                    .number("y", y)
                    .number("height", line.height)
                    .number("baseline", line.inkHeight)
                    .text("align", alignName(line.align))
                    .text("text", lineText(line))
                    .json("runs", array(runs))
                    .json("images", array(images));
            },
            [&](const Barcode& barcode) {
                object.text("type", "barcode")
                    .number("y", y)
                    .text("symbology", barcode.symbology)
                    .data(barcode.data)
                    .text("text", barcode.text)
                    .number("x", barcode.x)
                    .number("width", barcode.barsWidth())
                    .number("height", barcode.barHeight)
                    .text("hri", hriName(barcode.hri));
            },
            [&](const ImageBlock& image) {
                if (image.symbol.empty()) {
                    object.text("type", "picture").number("y", y).number("x", image.x);
                    object.picture(image.bitmap);
                    return;
                }
                object.text("type", "symbol")
                    .number("y", y)
                    .text("symbology", image.symbol)
                    .data(image.data)
                    .number("x", image.x)
                    .number("width", image.bitmap.printedWidth())
                    .number("height", image.bitmap.printedHeight())
                    .json("modules", pair(image.bitmap.width, image.bitmap.height))
                    .text("hash", dotsHash(image.bitmap));
            },
            [&](const Cut& cut) {
                object.text("type", "cut").number("y", y).flag("partial", cut.partial);
            },
            [&](const Event& event) {
                const char* type = event.drawerPulse     ? "drawer"
                                   : event.reply.empty() ? "event"
                                                         : "reply";
                object.text("type", type).number("y", y).text("text", event.text);
                if (!event.reply.empty()) object.text("bytes", allHex(event.reply));
            },
        },
        item);
    return object.done();
}

// A piece of a line, for putting them in order across it.
struct Piece {
    int x, width;
    std::string text;
};

std::string joined(std::vector<Piece> pieces) {
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece& a, const Piece& b) { return a.x < b.x; });
    std::string text;
    int end = 0;
    for (const Piece& piece : pieces) {
        if (!text.empty() && piece.x > end) text += ' ';
        text += piece.text;
        end = std::max(end, piece.x + piece.width);
    }
    return text;
}

std::string pictureText(const Bitmap& bitmap) {
    return std::to_string(bitmap.printedWidth()) + "x" + std::to_string(bitmap.printedHeight()) +
           " " + dotsHash(bitmap);
}

std::string dataText(std::string_view bytes) {
    return isUtf8(bytes) ? jsonString(bytes) : "hex " + allHex(bytes);
}

std::string itemText(const Item& item) {
    return std::visit(
        Overloaded{
            [](const PrintedLine& line) {
                std::vector<Piece> pieces;
                for (const Run& run : line.runs)
                    pieces.push_back({run.x, run.width(),
                                      run.kind == Run::Kind::Marker
                                          ? std::string("[") + allHex(run.bytes) + "]"
                                          : utf8(run.text)});
                for (const LineImage& image : line.images)
                    pieces.push_back({image.x, image.bitmap.printedWidth(),
                                      "[picture " + pictureText(image.bitmap) + "]"});
                return joined(std::move(pieces));
            },
            [](const Barcode& barcode) {
                return "[barcode " + barcode.symbology + " " + jsonString(barcode.text) +
                       ", data " + dataText(barcode.data) + "]";
            },
            [](const ImageBlock& image) {
                if (image.symbol.empty()) return "[picture " + pictureText(image.bitmap) + "]";
                return "[" + image.symbol + " " + std::to_string(image.bitmap.width) + "x" +
                       std::to_string(image.bitmap.height) + " " + dataText(image.data) + "]";
            },
            [](const Cut& cut) {
                return std::string(cut.partial ? "[cut partial]" : "[cut full]");
            },
            [](const Event& event) {
                if (event.drawerPulse) return "[drawer: " + event.text + "]";
                if (!event.reply.empty()) return "[reply: " + allHex(event.reply) + "]";
                return std::string("[event: ") + event.text + "]";
            },
        },
        item);
}

}  // namespace

std::string transcriptJson(const Receipt& receipt) {
    std::string json = "{\n  \"format\": " + std::to_string(transcriptFormat) +
                       ",\n  \"height\": " + std::to_string(receipt.heightDots()) +
                       ",\n  \"items\": [";
    int y = 0;
    for (std::size_t i = 0; i < receipt.items.size(); ++i) {
        json += i == 0 ? "\n    " : ",\n    ";
        json += itemJson(receipt.items[i], y);
        y += heightDots(receipt.items[i]);
    }
    return json + (receipt.items.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string transcriptText(const Receipt& receipt) {
    std::string text;
    for (const Item& item : receipt.items) {
        text += itemText(item);
        text += '\n';
    }
    return text;
}

std::string dotsHash(const Bitmap& bitmap) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    const int rowBytes = bitmap.rowBytes();
    const int spare = 8 * rowBytes - bitmap.width;
    for (int y = 0; y < bitmap.height; ++y)
        for (int i = 0; i < rowBytes; ++i) {
            std::uint8_t byte = bitmap.rows[static_cast<std::size_t>(y * rowBytes + i)];
            if (i == rowBytes - 1) byte &= static_cast<std::uint8_t>(0xFF << spare);
            hash = (hash ^ byte) * 0x100000001b3u;
        }
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("fnv1a64:") + digits;
}

std::string lineText(const PrintedLine& line) {
    std::vector<Piece> pieces;
    for (const Run& run : line.runs)
        if (run.kind != Run::Kind::Marker) pieces.push_back({run.x, run.width(), utf8(run.text)});
    return joined(std::move(pieces));
}

std::string utf8(std::u32string_view text) {
    std::string bytes;
    for (char32_t c : text) {
        // What no character is stays visible as one, and the JSON stays valid.
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xF0 | (c >> 18));
            bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

bool isUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xC2 && lead < 0xE0 ? 2
                                   : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xF0 && lead < 0xF5 ? 4
                                                                 : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and what lies beyond Unicode are no UTF-8.
        static constexpr char32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < lowest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

std::string jsonString(std::string_view utf8) {
    std::string json = "\"";
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (c == '\n') {
            json += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

}  // namespace vp
