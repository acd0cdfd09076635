#pragma once

#include <string_view>
#include <variant>
#include <vector>

#include "barcodes.h"

// The module patterns of the 2-D symbols GS ( k prints, made by libzint from the data and the
// printer's symbol settings. Sizes in dots are the decoder's business: a module here is one
// cell of the pattern.
namespace vp {

// Dark and light modules, row by row from the top, without quiet zones.
struct ModuleMatrix {
    int columns = 0, rows = 0;
    std::vector<bool> dark;  // rows × columns
    bool at(int column, int row) const {
        return dark[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                    static_cast<std::size_t>(column)];
    }
};

using MatrixResult = std::variant<ModuleMatrix, SymbolError>;

enum class QrModel : std::uint8_t { Model1, Model2, Micro };

// QR Code settings of GS ( k cn 49: the model (fn 65) and the error correction level
// (fn 69: 0 L, 1 M, 2 Q, 3 H). The version is the smallest that holds the data, as the
// printer picks it. libzint has no model 1: a model 1 symbol is made as model 2.
struct QrSettings {
    QrModel model = QrModel::Model2;
    int errorCorrection = 0;
};
MatrixResult encodeQr(std::string_view data, const QrSettings& settings);

// PDF417 settings of GS ( k cn 48: data columns (fn 65) and rows (fn 66), 0 for the printer's
// choice; the error correction level (fn 69) as a level 0-8, or as a ratio of n × 10 % of the
// data codewords; truncated (fn 70).
struct Pdf417Settings {
    int columns = 0;
    int rows = 0;
    bool levelGiven = false;
    int level = 0;
    int ratio = 1;
    bool truncated = false;
};
MatrixResult encodePdf417(std::string_view data, const Pdf417Settings& settings);

// DataMatrix ECC 200 settings of GS ( k cn 54: square or rectangular (fn 65), with columns
// and rows of modules, 0 for the smallest that holds the data.
struct DataMatrixSettings {
    bool rectangular = false;
    int columns = 0;
    int rows = 0;
};
MatrixResult encodeDataMatrix(std::string_view data, const DataMatrixSettings& settings);

}  // namespace vp
