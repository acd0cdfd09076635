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

// UPC-E's six digits: which use even parity, by the check digit (number system 0).
constexpr std::array<const char*, 10> upcEParity = {"EEEOOO", "EEOEOO", "EEOOEO", "EEOOOE",
                                                    "EOEEOO", "EOOEEO", "EOOOEE", "EOEOEO",
                                                    "EOEOOE", "EOOEOE"};

// ITF: the five elements of each digit, 1 where wide.
constexpr std::array<const char*, 10> itfPatterns = {"00110", "10001", "01001", "11000", "00101",
                                                     "10100", "01100", "00011", "10010", "01010"};

// CODABAR: the seven elements of each character, 1 where wide; a-d print as A-D.
constexpr std::string_view codabarCharacters = "0123456789-$:/.+ABCD";
constexpr std::array<const char*, 20> codabarPatterns = {
    "0000011", "0000110", "0001001", "1100000", "0010010", "1000010", "0100001",
    "0100100", "0110000", "1001000", "0001100", "0011000", "1000101", "1010001",
    "1010100", "0010101", "0011010", "0101001", "0001011", "0001110",
};

// CODE93 symbol values 0..46 as six element widths (43..46 are the shifts ($) (%) (/) (+));
// the last is the start and stop character.
constexpr std::string_view code93Characters = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr std::array<const char*, 48> code93Patterns = {
    "131112", "111213", "111312", "111411", "121113", "121212", "121311", "111114",
    "131211", "141111", "211113", "211212", "211311", "221112", "221211", "231111",
    "112113", "112212", "112311", "122112", "132111", "111123", "111222", "111321",
    "121122", "131121", "212112", "212211", "211122", "211221", "221121", "222111",
    "112122", "112221", "122121", "123111", "121131", "311112", "311211", "321111",
    "112131", "113121", "211131", "121221", "312111", "311121", "122211", "111141",
};

// One EAN/UPC digit's seven modules: 'O' odd and 'E' even parity of the left hand, 'R' the
// right hand.
std::string eanDigit(char digit, char set) {
    std::string code = eanOdd[static_cast<std::size_t>(digit - '0')];
    if (set == 'O') return code;
    for (char& m : code) m = m == '1' ? '0' : '1';
    // Even parity is the right-hand code read backwards.
    if (set == 'E') code.assign(code.rbegin(), code.rend());
    return code;
}

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
    for (std::size_t i = 0; i < left.size(); ++i) out.modules(eanDigit(left[i], parity[i]));
    out.modules("01010");
    for (char digit : right) out.modules(eanDigit(digit, 'R'));
    out.modules("101");
    symbol.quietLeft = ean8 ? 7 : length == 12 ? 9 : 11;
    symbol.quietRight = ean8 ? 7 : length == 12 ? 9 : 7;
    return symbol;
}

// The ten digits after the number system that UPC-E's six stand for in UPC-A.
std::string upcEExpanded(std::string_view six) {
    const std::string s(six);
    switch (const char last = six[5]) {
        case '0':
        case '1':
        case '2':
            return s.substr(0, 2) + last + "0000" + s.substr(2, 3);
        case '3':
            return s.substr(0, 3) + "00000" + s.substr(3, 2);
        case '4':
            return s.substr(0, 4) + "00000" + s[4];
        default:
            return s.substr(0, 5) + "0000" + last;
    }
}

// UPC-E: six digits, number system 0 and the check digit computed; "0" and the six, with or
// without the check digit; or the UPC-A digits (11, or 12 with the check digit) that zero
// suppression makes six.
SymbolResult upcE(std::string_view data) {
    if (!allDigits(data)) return SymbolError{"not digits"};
    const std::size_t size = data.size();
    if (size != 6 && size != 7 && size != 8 && size != 11 && size != 12)
        return SymbolError{"wants 6, 7, 8, 11 or 12 digits"};
    if (size != 6 && data[0] != '0')
        return SymbolError{std::string("number system ") + data[0] + ", should be 0"};
    std::string six;
    if (size <= 8) {
        six = data.substr(size == 6 ? 0 : 1, 6);
    } else {
        // The first six, by the rules of zero suppression, that expand to the same UPC-A.
        const std::string b(data.substr(1, 10));
        for (const std::string& candidate :
             {b.substr(0, 2) + b.substr(7, 3) + b[2], b.substr(0, 3) + b.substr(8, 2) + '3',
              b.substr(0, 4) + b[9] + '4', b.substr(0, 5) + b[9]})
            if (upcEExpanded(candidate) == b) {
                six = candidate;
                break;
            }
        if (six.empty()) return SymbolError{"UPC-A digits that do not suppress to UPC-E"};
    }
    const char check = static_cast<char>('0' + eanCheckDigit("0" + upcEExpanded(six)));
    if ((size == 8 || size == 12) && data.back() != check)
        return SymbolError{std::string("check digit ") + data.back() + ", should be " + check};

    Symbol symbol;
    symbol.text = "0" + six + check;
    ModuleWriter out(symbol.elements);
    out.modules("101");
    const std::string_view parity = upcEParity[static_cast<std::size_t>(check - '0')];
    for (std::size_t i = 0; i < six.size(); ++i) out.modules(eanDigit(six[i], parity[i]));
    out.modules("010101");
    symbol.quietLeft = 9;
    symbol.quietRight = 7;
    return symbol;
}

// ITF: pairs of digits, the first in the bars and the second in the spaces. The NUL form
// leaves out an odd last digit, the counted form is refused with one.
SymbolResult itf(std::string_view data, bool nulForm) {
    if (!allDigits(data)) return SymbolError{"not digits"};
    if (nulForm && data.size() % 2 != 0) data.remove_suffix(1);
    if (data.empty() || data.size() % 2 != 0) return SymbolError{"wants an even number of digits"};
    Symbol symbol;
    symbol.twoWidths = true;
    symbol.text = data;
    symbol.elements = {1, 1, 1, 1};
    for (std::size_t i = 0; i < data.size(); i += 2) {
        const std::string_view bars = itfPatterns[static_cast<std::size_t>(data[i] - '0')];
        const std::string_view spaces = itfPatterns[static_cast<std::size_t>(data[i + 1] - '0')];
        for (std::size_t e = 0; e < 5; ++e) {
            symbol.elements.push_back(bars[e] == '1' ? 2 : 1);
            symbol.elements.push_back(spaces[e] == '1' ? 2 : 1);
        }
    }
    symbol.elements.insert(symbol.elements.end(), {2, 1, 1});
    return symbol;
}

// Characters of `alphabet` with two-width patterns, a narrow gap between them.
SymbolResult twoWidthCharacters(std::string_view data, std::string_view alphabet,
                                const char* const* patterns, const char* name) {
    Symbol symbol;
    symbol.twoWidths = true;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::size_t at = alphabet.find(data[i]);
        if (at == std::string_view::npos)
            return SymbolError{"byte " + hex(static_cast<unsigned char>(data[i])) + " is not in " +
                               name};
        if (i > 0) symbol.elements.push_back(1);
        for (char wide : std::string_view(patterns[at]))
            symbol.elements.push_back(wide == '1' ? 2 : 1);
    }
    symbol.text = data;
    return symbol;
}

SymbolResult code39(std::string_view data) {
    // A star at both ends is the start and stop the printer would otherwise add.
    if (data.size() >= 2 && data.front() == '*' && data.back() == '*')
        data = data.substr(1, data.size() - 2);
    if (data.empty()) return SymbolError{"no data"};
    if (data.find('*') != std::string_view::npos) return SymbolError{"byte 2A is not in CODE39"};
    // Appended to, not prefixed: GCC 12 at -O3 takes a literal + std::string for an overlapping
    // copy (-Wrestrict) where there is none.
    return twoWidthCharacters(std::string(1, '*').append(data) + '*', code39Characters,
                              code39Patterns.data(), "CODE39");
}

// CODABAR: the start and stop characters are sent, A-D or a-d, both of the same case.
SymbolResult codabar(std::string_view data) {
    auto startStop = [](char c) { return (c >= 'A' && c <= 'D') || (c >= 'a' && c <= 'd'); };
    if (data.size() < 2 || !startStop(data.front()) || !startStop(data.back()) ||
        (data.front() >= 'a') != (data.back() >= 'a'))
        return SymbolError{"does not start and end with A-D or a-d"};
    std::string upper(data);
    for (std::size_t i = 0; i < upper.size(); ++i) {
        char& c = upper[i];
        if (startStop(c) && i > 0 && i + 1 < upper.size())
            return SymbolError{std::string("start or stop character ") + c + " inside"};
        if (c >= 'a' && c <= 'd') c = static_cast<char>(c - 'a' + 'A');
    }
    SymbolResult result =
        twoWidthCharacters(upper, codabarCharacters, codabarPatterns.data(), "CODABAR");
    if (auto* symbol = std::get_if<Symbol>(&result)) symbol->text = data;
    return result;
}

// CODE93: any byte 00-7F, through the shifts where the character set lacks it; start, the two
// check characters C and K and stop are added.
SymbolResult code93(std::string_view data) {
    if (data.empty()) return SymbolError{"no data"};
    constexpr int dollar = 43, percent = 44, slash = 45, plus = 46;
    std::vector<int> values;
    Symbol symbol;
    for (const char byte : data) {
        const auto c = static_cast<unsigned char>(byte);
        if (c > 0x7F) return SymbolError{"byte " + hex(c) + " is not in CODE93"};
        const std::size_t native = code93Characters.find(byte);
        if (c != 0 && native != std::string_view::npos) {
            values.push_back(static_cast<int>(native));
        } else {
            // The bytes the character set lacks, by range: a shift and a letter from `letter`
            // on.
            struct Shifted {
                unsigned char first, last;
                int shift;
                char letter;
            };
            static constexpr Shifted ranges[] = {
                {0x00, 0x00, percent, 'U'}, {0x01, 0x1A, dollar, 'A'}, {0x1B, 0x1F, percent, 'A'},
                {'!', ',', slash, 'A'},     {':', ':', slash, 'Z'},    {';', '?', percent, 'F'},
                {'@', '@', percent, 'V'},   {'[', '_', percent, 'K'},  {'`', '`', percent, 'W'},
                {'a', 'z', plus, 'A'},      {'{', 0x7F, percent, 'P'},
            };
            for (const Shifted& range : ranges)
                if (c >= range.first && c <= range.last) {
                    values.push_back(range.shift);
                    values.push_back(range.letter + (c - range.first) - 'A' + 10);
                }
        }
        symbol.text += c >= 0x20 && c < 0x7F ? byte : ' ';
    }
    // C weighs 1..20 from the right, K 1..15 with C counted.
    for (const int cycle : {20, 15}) {
        int sum = 0, weight = 1;
        for (auto it = values.rbegin(); it != values.rend(); ++it) {
            sum += *it * weight;
            weight = weight == cycle ? 1 : weight + 1;
        }
        values.push_back(sum % 47);
    }
    values.insert(values.begin(), 47);
    values.push_back(47);
    for (int value : values)
        for (char width : std::string_view(code93Patterns[static_cast<std::size_t>(value)]))
            symbol.elements.push_back(static_cast<std::uint8_t>(width - '0'));
    symbol.elements.push_back(1);  // termination bar
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

SymbolResult encodeSymbol(Symbology symbology, std::string_view data, bool nulForm) {
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
        case Symbology::UpcE:
            return upcE(data);
        case Symbology::Itf:
            return itf(data, nulForm);
        case Symbology::Codabar:
            return codabar(data);
        case Symbology::Code93:
            return code93(data);
    }
    return SymbolError{std::string(symbologyName(symbology)) + " is not drawn"};
}

int elementDots(const Symbol& symbol, std::uint8_t element, int moduleWidth) {
    if (!symbol.twoWidths) return element * moduleWidth;
    return element == 1 ? moduleWidth : (5 * moduleWidth + 1) / 2;
}

}  // namespace vp
