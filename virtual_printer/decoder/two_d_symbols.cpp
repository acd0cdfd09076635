#include "two_d_symbols.h"

#include <zint.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace vp {
namespace {

struct SymbolDeleter {
    void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
using Symbol2D = std::unique_ptr<zint_symbol, SymbolDeleter>;

Symbol2D makeSymbol(int symbology) {
    Symbol2D symbol(ZBarcode_Create());
    symbol->symbology = symbology;
    // The bytes as the printer received them, code page and all: no conversion from UTF-8.
    symbol->input_mode = DATA_MODE;
    return symbol;
}

// Encodes the data; warnings (a PDF417 shorter than the standard's height, say) still give
// a symbol.
MatrixResult encode(zint_symbol& symbol, std::string_view data) {
    if (data.empty()) return SymbolError{"no data"};
    const int result = ZBarcode_Encode(&symbol, reinterpret_cast<const unsigned char*>(data.data()),
                                       static_cast<int>(data.size()));
    if (result >= ZINT_ERROR) return SymbolError{symbol.errtxt};
    ModuleMatrix matrix;
    matrix.columns = symbol.width;
    matrix.rows = symbol.rows;
    matrix.dark.reserve(static_cast<std::size_t>(matrix.columns * matrix.rows));
    // libzint keeps each row as a bit set, the first module in the lowest bit.
    for (int row = 0; row < symbol.rows; ++row)
        for (int column = 0; column < symbol.width; ++column)
            matrix.dark.push_back(((symbol.encoded_data[row][column >> 3] >> (column & 7)) & 1) !=
                                  0);
    return matrix;
}

// The error correction level the printer takes for a ratio of n × 10 % of the data codewords.
int levelForRatio(int dataCodewords, int ratio) {
    const int wanted = (dataCodewords * ratio + 5) / 10;
    constexpr std::array<int, 7> upTo = {3, 10, 20, 45, 100, 200, 400};
    for (std::size_t level = 0; level < upTo.size(); ++level)
        if (wanted <= upTo[level]) return static_cast<int>(level) + 1;
    return 8;
}

}  // namespace

MatrixResult encodeQr(std::string_view data, const QrSettings& settings) {
    const bool micro = settings.model == QrModel::Micro;
    if (micro && settings.errorCorrection > 2)
        return SymbolError{"Micro QR has no error correction level H"};
    Symbol2D symbol = makeSymbol(micro ? BARCODE_MICROQR : BARCODE_QRCODE);
    symbol->option_1 = settings.errorCorrection + 1;
    return encode(*symbol, data);
}

MatrixResult encodePdf417(std::string_view data, const Pdf417Settings& settings) {
    auto make = [&](int level) {
        Symbol2D symbol = makeSymbol(settings.truncated ? BARCODE_PDF417COMP : BARCODE_PDF417);
        symbol->option_1 = level;
        symbol->option_2 = settings.columns;
        symbol->option_3 = settings.rows;
        return symbol;
    };
    if (settings.levelGiven) return encode(*make(settings.level), data);
    // The ratio applies to the data codewords, which only encoding tells: a first symbol at
    // level 0 has them and its two correction codewords, and padding where rows are left over.
    Symbol2D first = make(0);
    const MatrixResult sized = encode(*first, data);
    if (std::holds_alternative<SymbolError>(sized)) return sized;
    // A row is a start pattern, row indicators, the data columns and a stop pattern, 17
    // modules each (the stop 18); a truncated row keeps only the start, left indicator and one
    // module of the stop.
    const int columns = (first->width - (settings.truncated ? 35 : 69)) / 17;
    const int codewords = std::max(1, columns * first->rows - 2);
    return encode(*make(levelForRatio(codewords, settings.ratio)), data);
}

MatrixResult encodeDataMatrix(std::string_view data, const DataMatrixSettings& settings) {
    Symbol2D symbol = makeSymbol(BARCODE_DATAMATRIX);
    if (settings.columns == 0 && settings.rows == 0) {
        // The smallest symbol of the shape asked for.
        if (!settings.rectangular) symbol->option_3 = DM_SQUARE;
    } else {
        // libzint numbers the ECC 200 sizes: the 24 squares, then the 6 rectangles.
        constexpr std::array<int, 24> squares = {10, 12, 14, 16, 18,  20,  22,  24,
                                                 26, 32, 36, 40, 44,  48,  52,  64,
                                                 72, 80, 88, 96, 104, 120, 132, 144};
        constexpr std::array<std::array<int, 2>, 6> rectangles = {
            {{18, 8}, {32, 8}, {26, 12}, {36, 12}, {36, 16}, {48, 16}}};
        int size = 0;
        for (std::size_t i = 0; i < squares.size() && !settings.rectangular; ++i)
            if (squares[i] == settings.columns && squares[i] == settings.rows)
                size = static_cast<int>(i) + 1;
        for (std::size_t i = 0; i < rectangles.size() && settings.rectangular; ++i)
            if (rectangles[i][0] == settings.columns && rectangles[i][1] == settings.rows)
                size = static_cast<int>(squares.size() + i) + 1;
        if (size == 0)
            return SymbolError{"no DataMatrix of " + std::to_string(settings.columns) + " × " +
                               std::to_string(settings.rows) + " modules"};
        symbol->option_2 = size;
    }
    if (settings.rectangular && settings.columns == 0) {
        // Only rectangles: the smallest rectangle that holds the data.
        for (int size = 25; size <= 30; ++size) {
            Symbol2D rectangle = makeSymbol(BARCODE_DATAMATRIX);
            rectangle->option_2 = size;
            MatrixResult result = encode(*rectangle, data);
            if (std::holds_alternative<ModuleMatrix>(result)) return result;
        }
        return SymbolError{"too much data for a rectangular DataMatrix"};
    }
    return encode(*symbol, data);
}

}  // namespace vp
