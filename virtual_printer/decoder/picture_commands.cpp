// Pictures: bit images, raster images, graphics, downloaded and NV images.
#include "decoder_internals.h"

#include <algorithm>
#include <optional>

namespace vp {

using namespace decoding;

namespace {

// The picture of a printer's scale parameter m of GS / and FS p: 0-3 or '0'-'3', bit 0
// doubling the width, bit 1 the height.
std::optional<Bitmap> scaled(Bitmap bitmap, std::uint8_t m) {
    const int mode = digitOrValue(m);
    if (mode > 3) return std::nullopt;
    bitmap.widthScale = (mode & 1) ? 2 : 1;
    bitmap.heightScale = (mode & 2) ? 2 : 1;
    return bitmap;
}

// The leftmost `columns` dots of each row: the head has no more.
void keepColumns(Bitmap& bitmap, int columns) {
    if (columns >= bitmap.width) return;
    const std::string_view rows(reinterpret_cast<const char*>(bitmap.rows.data()),
                                bitmap.rows.size());
    Bitmap kept = rasterBitmap(rows, bitmap.rowBytes(), std::max(0, columns));
    kept.widthScale = bitmap.widthScale;
    kept.heightScale = bitmap.heightScale;
    bitmap = std::move(kept);
}

// The top `rows` rows: column data comes in whole bytes of eight dots.
void keepRows(Bitmap& bitmap, int rows) {
    if (rows >= bitmap.height) return;
    bitmap.height = rows;
    bitmap.rows.resize(static_cast<std::size_t>(bitmap.rowBytes() * rows));
}

// The dots of one picture of x × y, in raster rows or in columns of whole bytes; nothing when
// `data` is not exactly as long as they take.
std::optional<Bitmap> picture(std::string_view data, int x, int y, bool columns) {
    const int rowBytes = (x + 7) / 8, columnBytes = (y + 7) / 8;
    if (x == 0 || y == 0 ||
        data.size() != static_cast<std::size_t>(columns ? x * columnBytes : rowBytes * y))
        return std::nullopt;
    if (!columns) return rasterBitmap(data, rowBytes, x);
    Bitmap bitmap = columnBitmap(data, columnBytes);
    keepRows(bitmap, y);
    return bitmap;
}

// GS ( L fn 67, 68, 83, 84: a kc1 kc2 b xL xH yL yH [c d1...dk]1...[c d1...dk]b. The first
// colour is the one a one-colour head prints.
std::optional<Bitmap> definedGraphics(std::string_view p, bool columns) {
    if (p.size() < 9 || byteAt(p, 0) != 48 || byteAt(p, 3) < 1 || byteAt(p, 3) > 2)
        return std::nullopt;
    const int x = static_cast<int>(little(p, 4)), y = static_cast<int>(little(p, 6));
    const std::size_t planes = byteAt(p, 3);
    if ((p.size() - 8) % planes != 0) return std::nullopt;
    const std::size_t plane = (p.size() - 8) / planes;
    if (byteAt(p, 8) != 49) return std::nullopt;
    return picture(p.substr(9, plane - 1), x, y, columns);
}

}  // namespace

void Decoder::bitImage(const Received& command) {
    const std::uint8_t m = command.parameter();
    const int columnBytes = m >= 32 ? 3 : 1;
    // Single density prints each column two dots wide; the 8-dot modes print each dot three
    // dots tall, so that every mode makes a line 24 dots high.
    const int widthScale = m == 0 || m == 32 ? 2 : 1;
    // Columns beyond the end of the line are not printed.
    const std::size_t fit = std::max(0, area().width - line_.position) / widthScale;
    const std::size_t columns = std::min(fit, command.data.size() / columnBytes);
    if (columns == 0) return;
    LineImage image;
    image.bitmap = columnBitmap(command.data.substr(0, columns * columnBytes), columnBytes);
    image.bitmap.widthScale = static_cast<std::uint8_t>(widthScale);
    image.bitmap.heightScale = columnBytes == 1 ? 3 : 1;
    startLine();
    image.x = area().left + line_.position;
    line_.position += image.bitmap.printedWidth();
    line_.extent = std::max(line_.extent, line_.position);
    line_.images.push_back(std::move(image));
}

void Decoder::rasterImage(const Received& command) {
    const int mode = digitOrValue(command.parameter());
    Bitmap bitmap = rasterBitmap(command.data, static_cast<int>(little(command.parameters, 1)));
    bitmap.widthScale = (mode & 1) ? 2 : 1;
    bitmap.heightScale = (mode & 2) ? 2 : 1;
    printBlock(std::move(bitmap), "raster bit image");
}

void Decoder::printBlock(Bitmap bitmap, const std::string& what,
                         std::optional<std::string_view> symbolData) {
    if (!line_.runs.empty() || !line_.images.empty()) {
        // As GS k: the printer takes a picture of its own only with nothing waiting in the line.
        note(what + " ignored: not at the beginning of a line");
        return;
    }
    // Dots beyond the printing area are not printed.
    const Area inside = area();
    keepColumns(bitmap, (inside.width - line_.position) / bitmap.widthScale);
    ImageBlock image;
    const int free = inside.width - line_.position - bitmap.printedWidth();
    image.x = inside.left + line_.position +
              alignedShift(line_.started ? line_.align : modes_.align, free);
    image.bitmap = std::move(bitmap);
    if (symbolData) {
        image.symbol = what;
        image.data = *symbolData;
    }
    line_.clear();
    sink_.item(Item(std::in_place_type<ImageBlock>, std::move(image)));
}

// GS ( L and GS 8 L: m fn, then the function's parameters.
namespace {

std::uint8_t graphicsFunction(std::string_view data) {
    return byteAt(data, 1);
}

std::string_view graphicsParameters(std::string_view data) {
    return data.substr(2);
}

// Key codes kc1 kc2 at `at`, as a number and as they are named in events.
int keyCode(std::string_view p, std::size_t at) {
    return 256 * byteAt(p, at) + byteAt(p, at + 1);
}

std::string keyName(std::string_view p, std::size_t at) {
    const char name[] = {'"', static_cast<char>(byteAt(p, at)),
                         static_cast<char>(byteAt(p, at + 1)), '"'};
    return std::string(name, sizeof name);
}

bool isNvFunction(std::uint8_t fn) {
    return fn < 80;
}

}  // namespace

// Functions 112 and 113: raster or column graphics into the print buffer,
// a bx by c xL xH yL yH d1...dk.
void Decoder::rasterGraphics(const Received& command) {
    const std::uint8_t fn = graphicsFunction(command.data);
    const std::string_view p = graphicsParameters(command.data);
    const bool scales = p.size() >= 8 && byteAt(p, 1) >= 1 && byteAt(p, 1) <= 2 &&
                        byteAt(p, 2) >= 1 && byteAt(p, 2) <= 2;
    if (p.size() >= 1 && byteAt(p, 0) == 52) {
        notDrawn(command);  // multiple tones
        return;
    }
    std::optional<Bitmap> bitmap;
    if (scales && byteAt(p, 0) == 48 && byteAt(p, 3) == 49)
        bitmap = picture(p.substr(8), static_cast<int>(little(p, 4)),
                         static_cast<int>(little(p, 6)), fn == 113);
    if (!bitmap) {
        invalid(command);
        return;
    }
    bitmap->widthScale = byteAt(p, 1);
    bitmap->heightScale = byteAt(p, 2);
    graphicsBuffer_ = std::move(bitmap);
}

// Function 50: the print buffer's graphics printed.
void Decoder::printGraphicsBuffer(const Received&) {
    if (graphicsBuffer_) printBlock(*std::exchange(graphicsBuffer_, {}), "graphics");
}

// Functions 67 and 68 define NV graphics, 83 and 84 download graphics, in rows or columns.
void Decoder::defineGraphics(const Received& command) {
    const std::uint8_t fn = graphicsFunction(command.data);
    const std::string_view p = graphicsParameters(command.data);
    std::optional<Bitmap> bitmap = definedGraphics(p, fn == 68 || fn == 84);
    if (!bitmap || byteAt(p, 1) < 32 || byteAt(p, 2) < 32) {
        invalid(command);
        return;
    }
    const std::string kind = isNvFunction(fn) ? "NV" : "download";
    auto& kept = isNvFunction(fn) ? nvGraphics_ : downloadGraphics_;
    // A definition replaces the one with its key code: that one's room is free.
    std::size_t used = 0;
    for (const auto& [code, defined] : kept)
        if (code != keyCode(p, 1)) used += defined.rows.size();
    if (used + bitmap->rows.size() > graphicsCapacity) {
        note(kind + " graphics " + keyName(p, 1) + " refused: " + number(bitmap->rows.size()) +
             " bytes do not fit in the " + number(graphicsCapacity - used) + " left");
        return;
    }
    note(kind + " graphics " + keyName(p, 1) + " defined, " + number(bitmap->width) + " x " +
         number(bitmap->height) + " dots");
    kept[keyCode(p, 1)] = std::move(*bitmap);
}

// Functions 69 and 85 print NV or download graphics, kc1 kc2 x y.
void Decoder::printDefinedGraphics(const Received& command) {
    const std::string_view p = graphicsParameters(command.data);
    const auto& kept = graphicsFunction(command.data) == 69 ? nvGraphics_ : downloadGraphics_;
    const auto found = p.size() == 4 ? kept.find(keyCode(p, 0)) : kept.end();
    if (p.size() != 4 || byteAt(p, 2) < 1 || byteAt(p, 2) > 2 || byteAt(p, 3) < 1 ||
        byteAt(p, 3) > 2) {
        invalid(command);
    } else if (found == kept.end()) {
        note("graphics " + keyName(p, 0) + " not defined: nothing printed");
    } else {
        Bitmap bitmap = found->second;
        bitmap.widthScale = byteAt(p, 2);
        bitmap.heightScale = byteAt(p, 3);
        printBlock(std::move(bitmap), "graphics");
    }
}

// Functions 65 and 81 delete all NV or download graphics, "CLR".
void Decoder::deleteAllGraphics(const Received& command) {
    const bool nv = graphicsFunction(command.data) == 65;
    (nv ? nvGraphics_ : downloadGraphics_).clear();
    note(std::string(nv ? "NV" : "download") + " graphics deleted");
}

// Functions 66 and 82 delete one, kc1 kc2.
void Decoder::deleteGraphics(const Received& command) {
    const std::string_view p = graphicsParameters(command.data);
    if (p.size() != 2) {
        invalid(command);
        return;
    }
    const bool nv = graphicsFunction(command.data) == 66;
    (nv ? nvGraphics_ : downloadGraphics_).erase(keyCode(p, 0));
    note(std::string(nv ? "NV" : "download") + " graphics " + keyName(p, 0) + " deleted");
}

// Capacity and key code requests, the reference dot density: nothing to print.
void Decoder::graphicsRequest(const Received& command) {
    note("graphics function " + number(graphicsFunction(command.data)) + " passed over, " +
         hexBytes(command.bytes, markerBytesShown));
}

void Decoder::defineDownloadedImage(const Received& command) {
    downloadedImage_ = columnBitmap(command.data, command.parameter(1));
    note("downloaded bit image defined, " + number(downloadedImage_->width) + " x " +
         number(downloadedImage_->height) + " dots");
}

void Decoder::printDownloadedImage(const Received& command) {
    if (!downloadedImage_) {
        note("no downloaded bit image: nothing printed");
        return;
    }
    if (auto bitmap = scaled(*downloadedImage_, command.parameter()))
        printBlock(std::move(*bitmap), "downloaded bit image");
    else
        invalid(command);
}

void Decoder::defineNvBitImages(const Received& command) {
    // The pictures replace all those defined before.
    nvBitImages_.clear();
    for (std::string_view data = command.data; data.size() >= 4;) {
        const std::size_t columns = 8 * little(data, 0), columnBytes = little(data, 2);
        nvBitImages_.push_back(
            columnBitmap(data.substr(4, columns * columnBytes), static_cast<int>(columnBytes)));
        data.remove_prefix(4 + columns * columnBytes);
    }
    note(number(nvBitImages_.size()) + " NV bit images defined");
}

void Decoder::printNvBitImage(const Received& command) {
    const std::size_t n = command.parameter(0);
    if (n == 0 || n > nvBitImages_.size()) {
        note("NV bit image " + number(n) + " not defined: nothing printed");
        return;
    }
    if (auto bitmap = scaled(nvBitImages_[n - 1], command.parameter(1)))
        printBlock(std::move(*bitmap), "NV bit image");
    else
        invalid(command);
}

}  // namespace vp
