// Barcodes (GS k and its settings) and 2-D symbols (GS ( k).
#include "decoder_internals.h"

#include "barcodes.h"
#include "head_metrics.h"

namespace vp {

using namespace decoding;

namespace {

constexpr std::uint8_t pdf417Code = 48, qrCode = 49, dataMatrixCode = 54;

const char* symbolName(std::uint8_t cn) {
    return cn == qrCode ? "QR Code" : cn == pdf417Code ? "PDF417" : "DataMatrix";
}

// A symbol's modules as the head prints them, each `width` × `height` dots.
Bitmap symbolBitmap(const ModuleMatrix& matrix, int width, int height) {
    Bitmap bitmap;
    bitmap.width = matrix.columns;
    bitmap.height = matrix.rows;
    bitmap.widthScale = static_cast<std::uint8_t>(width);
    bitmap.heightScale = static_cast<std::uint8_t>(height);
    bitmap.rows.assign(static_cast<std::size_t>(bitmap.rowBytes() * bitmap.height), 0);
    for (int y = 0; y < matrix.rows; ++y)
        for (int x = 0; x < matrix.columns; ++x)
            if (matrix.at(x, y))
                bitmap.rows[static_cast<std::size_t>(y * bitmap.rowBytes() + x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    return bitmap;
}

}  // namespace

void Decoder::barcodeHeight(const Received& command) {
    if (command.parameter() == 0) {
        invalid(command);
        return;
    }
    modes_.barHeight = command.parameter();
}

void Decoder::moduleWidth(const Received& command) {
    const std::uint8_t n = command.parameter();
    if (n < 1 || n > 6) {
        invalid(command);
        return;
    }
    modes_.moduleWidth = n;
}

void Decoder::hriPosition(const Received& command) {
    if (const auto value = choice(command, 3)) modes_.hri = static_cast<HriPosition>(*value);
}

void Decoder::hriFont(const Received& command) {
    if (const auto value = choice(command, 1)) modes_.hriFont = *value == 1 ? Font::B : Font::A;
}

void Decoder::barcode(const Received& command) {
    const Symbology symbology = static_cast<Symbology>(
        command.parameter() <= 6 ? command.parameter() + 65 : command.parameter());
    const std::string name = symbologyName(symbology);
    const SymbolResult result = encodeSymbol(symbology, command.data, command.parameter() <= 6);
    if (const auto* error = std::get_if<SymbolError>(&result)) {
        note("barcode " + name + " not printed: " + error->reason + ", " +
             hexBytes(command.bytes, markerBytesShown));
        return;
    }
    const Symbol& symbol = std::get<Symbol>(result);
    Barcode printed;
    printed.symbology = name;
    printed.text = symbol.text;
    printed.data = command.data;
    for (std::uint8_t element : symbol.elements)
        printed.bars.push_back(
            static_cast<std::uint16_t>(elementDots(symbol, element, modes_.moduleWidth)));
    const int bars = printed.barsWidth();
    const Area inside = area();
    if (bars > inside.width) {
        note("barcode " + name + " not printed: " + number(bars) +
             " dots wider than the printing area, " + hexBytes(command.bytes, markerBytesShown));
        return;
    }
    // Quiet zones are kept inside the printing area while it has room for them, so that a
    // symbol never starts right at the paper's edge.
    printed.quietLeft = symbol.quietLeft * modes_.moduleWidth;
    printed.quietRight = symbol.quietRight * modes_.moduleWidth;
    const int box = printed.quietLeft + bars + printed.quietRight;
    if (box > inside.width) {
        printed.x = inside.left + (inside.width - bars) / 2;
    } else {
        printed.x =
            inside.left + printed.quietLeft + alignedShift(modes_.align, inside.width - box);
    }
    printed.barHeight = modes_.barHeight;
    printed.hri = modes_.hri;
    printed.hriFont = modes_.hriFont;
    const int textHeight = cellHeight(modes_.hriFont) + hriGapDots;
    printed.height = printed.barHeight;
    if (printed.hri == HriPosition::Above || printed.hri == HriPosition::Both)
        printed.height += textHeight;
    if (printed.hri == HriPosition::Below || printed.hri == HriPosition::Both)
        printed.height += textHeight;
    sink_.item(Item(std::in_place_type<Barcode>, std::move(printed)));
}

// GS ( k: cn fn and the function's parameters, a row of the function table each. Settings
// last until ESC @; fn 80 stores the data, fn 81 prints it and fn 82 answers with its size.
void Decoder::symbolSetting(const Received& command) {
    const std::uint8_t cn = byteAt(command.data, 0), fn = byteAt(command.data, 1);
    const std::string_view p = command.data.substr(2);
    const bool valid = cn == qrCode       ? qrSetting(fn, p)
                       : cn == pdf417Code ? pdf417Setting(fn, p)
                                          : dataMatrixSetting(fn, p);
    if (!valid) invalid(command);
}

void Decoder::storeSymbolData(const Received& command) {
    const std::string_view p = command.data.substr(2);
    if (p.size() > 1 && byteAt(p, 0) == 48)
        symbolData_[byteAt(command.data, 0)] = std::string(p.substr(1));
    else
        invalid(command);
}

void Decoder::printStoredSymbol(const Received& command) {
    if (command.data.size() > 2 && byteAt(command.data, 2) == 48)
        printSymbol(byteAt(command.data, 0));
    else
        invalid(command);
}

void Decoder::symbolSize(const Received& command) {
    if (command.data.size() > 2 && byteAt(command.data, 2) == 48)
        replySymbolSize(byteAt(command.data, 0));
    else
        invalid(command);
}

// MaxiCode, GS1 DataBar, composite symbols, Aztec Code.
void Decoder::undrawnSymbol(const Received& command) {
    if (byteAt(command.data, 1) == 81)
        notDrawn(command);
    else
        setting(command);
}

bool Decoder::qrSetting(std::uint8_t fn, std::string_view p) {
    QrSettings& qr = modes_.qr;
    if (fn == 65 && p.size() == 2 && within(byteAt(p, 0), 49, 51) && byteAt(p, 1) == 0) {
        qr.model = static_cast<QrModel>(byteAt(p, 0) - 49);
        if (qr.model == QrModel::Model1) note("QR Code model 1 drawn as model 2");
    } else if (fn == 67 && p.size() == 1 && within(byteAt(p, 0), 1, 16)) {
        modes_.qrModule = byteAt(p, 0);
    } else if (fn == 69 && p.size() == 1 && within(byteAt(p, 0), 48, 51)) {
        qr.errorCorrection = byteAt(p, 0) - 48;
    } else {
        return false;
    }
    return true;
}

bool Decoder::pdf417Setting(std::uint8_t fn, std::string_view p) {
    Pdf417Settings& pdf417 = modes_.pdf417;
    const std::uint8_t n = p.empty() ? 0 : byteAt(p, 0);
    if (fn == 69 && p.size() == 2) {
        // A level 0-8 (m 48), or a ratio of n × 10 % (m 49).
        const std::uint8_t level = byteAt(p, 1);
        if (n == 48 && within(level, 48, 56)) {
            pdf417.levelGiven = true;
            pdf417.level = level - 48;
            return true;
        }
        if (n == 49 && within(level, 1, 40)) {
            pdf417.levelGiven = false;
            pdf417.ratio = level;
            return true;
        }
        return false;
    }
    if (p.size() != 1) return false;
    if (fn == 65 && n <= 30) {
        pdf417.columns = n;
    } else if (fn == 66 && (n == 0 || within(n, 3, 90))) {
        pdf417.rows = n;
    } else if (fn == 67 && within(n, 2, 8)) {
        modes_.pdf417Module = n;
    } else if (fn == 68 && within(n, 2, 8)) {
        modes_.pdf417RowHeight = n;
    } else if (fn == 70 && digitOrValue(n) <= 1) {
        pdf417.truncated = digitOrValue(n) == 1;
    } else {
        return false;
    }
    return true;
}

bool Decoder::dataMatrixSetting(std::uint8_t fn, std::string_view p) {
    if (fn == 65 && p.size() == 3 && within(byteAt(p, 0), 48, 49)) {
        modes_.dataMatrix = {byteAt(p, 0) == 49, byteAt(p, 1), byteAt(p, 2)};
    } else if (fn == 67 && p.size() == 1 && within(byteAt(p, 0), 2, 16)) {
        modes_.dataMatrixModule = byteAt(p, 0);
    } else {
        return false;
    }
    return true;
}

// The stored data as the symbol the settings make, in dots; why not, when it cannot be made.
std::variant<Bitmap, SymbolError> Decoder::storedSymbol(std::uint8_t cn) const {
    const auto stored = symbolData_.find(cn);
    if (stored == symbolData_.end()) return SymbolError{"no data stored"};
    const MatrixResult result = cn == qrCode ? encodeQr(stored->second, modes_.qr)
                                : cn == pdf417Code
                                    ? encodePdf417(stored->second, modes_.pdf417)
                                    : encodeDataMatrix(stored->second, modes_.dataMatrix);
    if (const auto* error = std::get_if<SymbolError>(&result)) return *error;
    const int module = cn == qrCode       ? modes_.qrModule
                       : cn == pdf417Code ? modes_.pdf417Module
                                          : modes_.dataMatrixModule;
    const int rowHeight = cn == pdf417Code ? module * modes_.pdf417RowHeight : module;
    return symbolBitmap(std::get<ModuleMatrix>(result), module, rowHeight);
}

void Decoder::printSymbol(std::uint8_t cn) {
    const std::string name = symbolName(cn);
    std::variant<Bitmap, SymbolError> symbol = storedSymbol(cn);
    if (const auto* error = std::get_if<SymbolError>(&symbol)) {
        note(name + " not printed: " + error->reason);
        return;
    }
    Bitmap& bitmap = std::get<Bitmap>(symbol);
    if (bitmap.printedWidth() > area().width) {
        note(name + " not printed: " + number(bitmap.printedWidth()) +
             " dots wider than the printing area");
        return;
    }
    printBlock(std::move(bitmap), name, symbolData_.at(cn));
}

// The size information of fn 82: header 37, an identifier, the width and height in dots as
// decimal digits, separated by 1F, then 31, 1F, 30 when the symbol can be printed (31 when
// not), and NUL.
void Decoder::replySymbolSize(std::uint8_t cn) {
    const std::string request = std::string(symbolName(cn)) + " size information";
    if (cn == dataMatrixCode) {
        reply({}, request);
        return;
    }
    const std::variant<Bitmap, SymbolError> symbol = storedSymbol(cn);
    const auto* bitmap = std::get_if<Bitmap>(&symbol);
    const int width = bitmap ? bitmap->printedWidth() : 0;
    const int height = bitmap ? bitmap->printedHeight() : 0;
    const bool printable = width > 0 && width <= area().width;
    std::string bytes = "\x37";
    bytes += cn == qrCode ? '\x36' : '\x2F';
    bytes += number(width) + "\x1F" + number(height) + "\x1F" + "1\x1F" + (printable ? '0' : '1');
    bytes += '\0';
    reply(bytes, request);
}

}  // namespace vp
