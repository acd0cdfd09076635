#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The bar patterns of the symbologies GS k can print, computed from the data bytes as the
// printer receives them (code set selectors included for CODE128).
namespace vp {

struct Symbol {
    // Element widths, bar first: in modules for the multi-width symbologies, or 1 for narrow
    // and 2 for wide where `twoWidths` is set.
    std::vector<std::uint8_t> elements;
    bool twoWidths = false;
    std::string text;                     // human-readable interpretation
    int quietLeft = 10, quietRight = 10;  // in modules
};

// Why a symbol cannot be made from the data.
struct SymbolError {
    std::string reason;
};

using SymbolResult = std::variant<Symbol, SymbolError>;

// ESC/POS barcode system numbers of the counted form (65 + the NUL form's number).
enum class Symbology : std::uint8_t {
    UpcA = 65,
    UpcE,
    Ean13,
    Ean8,
    Code39,
    Itf,
    Codabar,
    Code93,
    Code128,
};

const char* symbologyName(Symbology symbology);

// Data as sent: digits for the EAN/UPC family (the check digit is computed; a sent one must
// match; UPC-E takes its six digits or the UPC-A ones that suppress to them) and ITF,
// characters for CODE39 (start and stop added unless sent), CODABAR with its start and stop,
// bytes 00-7F for CODE93 (start, stop and both check characters added), "{A"/"{B"/"{C" first
// for CODE128, with "{S" shift, "{1".."{4" function characters and "{{" for a brace.
// `nulForm`: the data ended in NUL (GS k m 0-6), where ITF drops an odd last digit.
SymbolResult encodeSymbol(Symbology symbology, std::string_view data, bool nulForm = false);

// The EAN/UPC check digit of the digits given (without it).
int eanCheckDigit(std::string_view digits);

// Dots across of one element, after GS w: multi-width modules are `moduleWidth` dots, wide
// elements of two-width symbologies about 2.5 narrow ones.
int elementDots(const Symbol& symbol, std::uint8_t element, int moduleWidth);

}  // namespace vp
