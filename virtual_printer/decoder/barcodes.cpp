#include "barcodes.h"

#include <array>
#include <cstdio>

namespace vp {
namespace {

// CODE128 symbol values 0..105 as six element widths; value 106 is the stop pattern.
constexpr std::array<const char*, 107> code128Patterns = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312",  "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122",  "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122",  "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123",  "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331",  "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311",  "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411",  "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412",  "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111",  "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211",  "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113",  "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232", "2331112",
};

// CODE39: the nine elements of each character, 1 where wide.
constexpr std::string_view code39Characters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
constexpr std::array<const char*, 44> code39Patterns = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000",
    "000100101", "100100100", "001100100", "100001001", "001001001", "101001000", "000011001",
    "100011000", "001011000", "000001101", "100001100", "001001100", "000011100", "100000011",
    "001000011", "101000010", "000010011", "100010010", "001010010", "000000111", "100000110",
    "001000110", "000010110", "110000001", "011000001", "111000000", "010010001", "110010000",
    "011010000", "010000101", "110000100", "011000100", "010101000", "010100010", "010001010",
    "000101010", "010010100",
};

// EAN/UPC left-hand odd-parity digits as seven modules; even parity and the right hand are
// derived from them.
constexpr std::array<const char*, 10> eanOdd = {"0001101", "0011001", "0010011", "0111101",
                                                "0100011", "0110001", "0101111", "0111011",
                                                "0110111", "0001011"};
// For EAN-13, which of the left six digits use even parity, by the first digit.
constexpr std::array<const char*, 10> eanParity = {"OOOOOO", "OOEOEE", "OOEEOE", "OOEEEO",
                                                   "OEOOEE", "OEEOOE", "OEEEOO", "OEOEOE",
                                                   "OEOEEO", "OEEOEO"};

// Appends modules given as '1' bar and '0' space, merging runs into element widths.
class ModuleWriter {
public:
    explicit ModuleWriter(std::vector<std::uint8_t>& elements) : elements_(elements) {}
    void modules(std::string_view ones) {
        for (char m : ones) {
            const bool bar = m == '1';
            if (!elements_.empty() && bar == lastBar_) {
                ++elements_.back();
            } else {
                // A symbol always starts with a bar.
                elements_.push_back(1);
                lastBar_ = bar;
            }
        }
    }

private:
    std::vector<std::uint8_t>& elements_;
    bool lastBar_ = false;
};

std::string hex(unsigned char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

bool allDigits(std::string_view data) {
    for (char c : data)
        if (c < '0' || c > '9') return false;
    return true;
}

SymbolResult eanFamily(std::string_view data, std::size_t length) {
    if (!allDigits(data)) return SymbolError{"not digits"};
    if (data.size() != length - 1 && data.size() != length)
        return SymbolError{"wants " + std::to_string(length - 1) + " or " + std::to_string(length) +
                           " digits"};
    std::string digits(data.substr(0, length - 1));
    const char check = static_cast<char>('0' + eanCheckDigit(digits));
    if (data.size() == length && data.back() != check)
        return SymbolError{std::string("check digit ") + data.back() + ", should be " + check};
    digits += check;

    Symbol symbol;
    symbol.text = digits;
    // UPC-A is EAN-13 with a leading zero.
    if (length == 12) digits.insert(digits.begin(), '0');
    const bool ean8 = digits.size() == 8;
    const std::string parity = ean8 ? "OOOO" : eanParity[static_cast<std::size_t>(digits[0] - '0')];
    const std::string_view left = std::string_view(digits).substr(ean8 ? 0 : 1, ean8 ? 4 : 6);
    const std::string_view right = std::string_view(digits).substr(ean8 ? 4 : 7);

    ModuleWriter out(symbol.elements);
    out.modules("101");
    for (std::size_t i = 0; i < left.size(); ++i) {
        std::string code = eanOdd[static_cast<std::size_t>(left[i] - '0')];
        if (parity[i] == 'E') {
            // Even parity: the right-hand code read backwards.
            for (char& m : code) m = m == '1' ? '0' : '1';
            code.assign(code.rbegin(), code.rend());
        }
        out.modules(code);
    }
    out.modules("01010");
    for (char digit : right) {
        std::string code = eanOdd[static_cast<std::size_t>(digit - '0')];
        for (char& m : code) m = m == '1' ? '0' : '1';
        out.modules(code);
    }
    out.modules("101");
    symbol.quietLeft = ean8 ? 7 : length == 12 ? 9 : 11;
    symbol.quietRight = ean8 ? 7 : length == 12 ? 9 : 7;
    return symbol;
}

SymbolResult code39(std::string_view data) {
    // A star at both ends is the start and stop the printer would otherwise add.
    if (data.size() >= 2 && data.front() == '*' && data.back() == '*')
        data = data.substr(1, data.size() - 2);
    if (data.empty()) return SymbolError{"no data"};
    Symbol symbol;
    symbol.twoWidths = true;
    // Appended to, not prefixed: GCC 12 at -O3 takes a literal + std::string for an overlapping
    // copy (-Wrestrict) where there is none.
    symbol.text = std::string(1, '*').append(data) + '*';
    for (std::size_t i = 0; i < symbol.text.size(); ++i) {
        const char c = symbol.text[i];
        const std::size_t at = code39Characters.find(c);
        const bool inside = i > 0 && i + 1 < symbol.text.size();
        if (at == std::string_view::npos || (c == '*' && inside))
            return SymbolError{"byte " + hex(static_cast<unsigned char>(c)) + " is not in CODE39"};
        if (i > 0) symbol.elements.push_back(1);  // gap between characters
        for (char wide : std::string_view(code39Patterns[at]))
            symbol.elements.push_back(wide == '1' ? 2 : 1);
    }
    return symbol;
}

// The symbol value of a byte in a code set, or -1 when the set lacks it. Code set C takes a
// byte 0-99 for a pair of digits.
int code128Value(char set, unsigned char c) {
    switch (set) {
        case 'A':
            return c < 0x20 ? c + 64 : c <= 0x5F ? c - 32 : -1;
        case 'B':
            return c >= 0x20 && c <= 0x7F ? c - 32 : -1;
        default:
            return c <= 99 ? c : -1;
    }
}

SymbolResult code128(std::string_view data) {
    if (data.size() < 2 || data[0] != '{' || data[1] < 'A' || data[1] > 'C')
        return SymbolError{"does not start with {A, {B or {C"};
    char set = data[1];
    std::vector<int> values = {103 + (set - 'A')};
    Symbol symbol;
    auto add = [&](char inSet, unsigned char c) {
        const int value = code128Value(inSet, c);
        if (value < 0) return false;
        values.push_back(value);
        if (inSet == 'C') {
            symbol.text += static_cast<char>('0' + c / 10);
            symbol.text += static_cast<char>('0' + c % 10);
        } else {
            // Control characters have no printable interpretation.
            symbol.text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : ' ';
        }
        return true;
    };
    auto notInSet = [](char inSet, unsigned char c) {
        return SymbolError{"byte " + hex(c) + " is not in code set " + inSet};
    };
    for (std::size_t i = 2; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c != '{') {
            if (!add(set, c)) return notInSet(set, c);
            continue;
        }
        if (++i == data.size()) return SymbolError{"ends in a lone {"};
        const char what = data[i];
        if (what >= 'A' && what <= 'C') {
            if (what != set) values.push_back(what == 'A' ? 101 : what == 'B' ? 100 : 99);
            set = what;
        } else if (what == 'S' && set != 'C' && i + 1 < data.size()) {
            values.push_back(98);
            const char other = set == 'A' ? 'B' : 'A';
            const auto shifted = static_cast<unsigned char>(data[++i]);
            if (!add(other, shifted)) return notInSet(other, shifted);
        } else if (what >= '1' && what <= '4' && (set != 'C' || what == '1')) {
            // FNC1 to FNC3 share their values in A and B; FNC4 is each set's own code.
            static constexpr int function[] = {102, 97, 96};
            values.push_back(what == '4' ? (set == 'A' ? 101 : 100) : function[what - '1']);
            symbol.text += ' ';
        } else if (what != '{' || !add(set, '{')) {
            return SymbolError{"7B " + hex(static_cast<unsigned char>(what)) +
                               " is no special character in code set " + set};
        }
    }
    if (values.size() == 1) return SymbolError{"no data"};
    int sum = values[0];
    for (std::size_t i = 1; i < values.size(); ++i) sum += values[i] * static_cast<int>(i);
    values.push_back(sum % 103);
    values.push_back(106);
    for (int value : values)
        for (char width : std::string_view(code128Patterns[static_cast<std::size_t>(value)]))
            symbol.elements.push_back(static_cast<std::uint8_t>(width - '0'));
    return symbol;
}

}  // namespace

const char* symbologyName(Symbology symbology) {
    static constexpr const char* names[] = {"UPC-A", "UPC-E",   "EAN-13", "EAN-8",  "CODE39",
                                            "ITF",   "CODABAR", "CODE93", "CODE128"};
    return names[static_cast<int>(symbology) - static_cast<int>(Symbology::UpcA)];
}

int eanCheckDigit(std::string_view digits) {
    // Weights 3 and 1 alternate from the rightmost digit.
    int sum = 0;
    bool three = true;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it, three = !three)
        sum += (*it - '0') * (three ? 3 : 1);
    return (10 - sum % 10) % 10;
}

SymbolResult encodeSymbol(Symbology symbology, std::string_view data) {
    switch (symbology) {
        case Symbology::UpcA:
            return eanFamily(data, 12);
        case Symbology::Ean13:
            return eanFamily(data, 13);
        case Symbology::Ean8:
            return eanFamily(data, 8);
        case Symbology::Code39:
            return code39(data);
        case Symbology::Code128:
            return code128(data);
        default:
            return SymbolError{std::string(symbologyName(symbology)) + " is not drawn"};
    }
}

int elementDots(const Symbol& symbol, std::uint8_t element, int moduleWidth) {
    if (!symbol.twoWidths) return element * moduleWidth;
    return element == 1 ? moduleWidth : (5 * moduleWidth + 1) / 2;
}

}  // namespace vp
