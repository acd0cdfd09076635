#include "character_sets.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace vp {
namespace {

// Converts one character's bytes to its code point with the C library's converter, 0 when
// the bytes are not a character of that encoding.
char32_t convertOne(iconv_t converter, const char* bytes, std::size_t length) {
    char32_t out = 0;
    char* in = const_cast<char*>(bytes);
    char* outPtr = reinterpret_cast<char*>(&out);
    std::size_t inLeft = length, outLeft = sizeof out;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0 || outLeft != 0) {
        return 0;
    }
    return out;
}

struct Converter {
    explicit Converter(const char* from) : handle(iconv_open("UTF-32LE", from)) {}
    ~Converter() {
        if (ok()) iconv_close(handle);
    }
    bool ok() const { return handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle;
};

// Every two-byte code of an encoding looked up once, so that decoding costs a table access
// per character.
std::vector<char32_t> pairTable(const char* encoding) {
    std::vector<char32_t> codes(romPairIndex(0xFF, 0x40), 0);  // up to the row of lead 0xFF
    Converter converter(encoding);
    if (!converter.ok()) return codes;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            codes[romPairIndex(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail))] =
                convertOne(converter.handle, pair, 2);
        }
    }
    return codes;
}

const std::vector<char32_t>& gbkTable() {
    static const std::vector<char32_t> table = pairTable("CP936");
    return table;
}

bool isFourByteDigit(std::uint8_t byte) {
    return byte >= 0x30 && byte <= 0x39;
}

// GB18030's four-byte codes, of which a text holds few: converted one at a time.
char32_t fourByteCharacter(std::string_view code) {
    static std::mutex guard;
    static Converter converter("GB18030");
    const std::lock_guard lock(guard);
    return converter.ok() ? convertOne(converter.handle, code.data(), 4) : 0;
}

constexpr struct {
    CharacterRom rom;
    const char* key;
    const char* name;
} roms[] = {
    {CharacterRom::Gb2312, "gb2312", "CHINA GB2312"},
    {CharacterRom::Gbk, "gbk", "CHINA GBK"},
    {CharacterRom::Gb18030, "gb18030", "CHINA GB18030"},
};

struct CodeTable {
    int number;
    const char* name;
    const char* iconvName;  // empty where the C library has no converter for it
};

// The tables of ESC t that the C library can convert, under the numbers of the ESC/POS
// command reference; 6 to 8, Japanese tables there, are Latin-1, Greek and Hebrew on
// Chinese-market printers.
constexpr CodeTable codeTables[] = {
    {0, "PC437", "CP437"},
    {1, "Katakana", "SHIFT_JIS"},
    {2, "PC850", "CP850"},
    {3, "PC860", "CP860"},
    {4, "PC863", "CP863"},
    {5, "PC865", "CP865"},
    {6, "Latin-1", "ISO-8859-1"},
    {7, "WPC1253", "CP1253"},
    {8, "PC862", "IBM862"},
    {11, "PC851", "IBM851"},
    {13, "PC857", "IBM857"},
    {14, "PC737", "CP737"},
    {15, "ISO8859-7", "ISO-8859-7"},
    {16, "WPC1252", "CP1252"},
    {17, "PC866", "CP866"},
    {18, "PC852", "CP852"},
    {19, "PC858", "IBM858"},
    {33, "WPC775", "CP775"},
    {34, "PC855", "IBM855"},
    {35, "PC861", "IBM861"},
    {36, "PC862", "IBM862"},
    {37, "PC864", "IBM864"},
    {38, "PC869", "IBM869"},
    {39, "ISO8859-2", "ISO-8859-2"},
    {40, "ISO8859-15", "ISO-8859-15"},
    {44, "PC1125", "CP1125"},
    {45, "WPC1250", "CP1250"},
    {46, "WPC1251", "CP1251"},
    {47, "WPC1253", "CP1253"},
    {48, "WPC1254", "CP1254"},
    {49, "WPC1255", "CP1255"},
    {50, "WPC1256", "CP1256"},
    {51, "WPC1257", "CP1257"},
    {52, "WPC1258", "CP1258"},
    {53, "KZ-1048", "RK1048"},
    {255, "space page", ""},
};

const CodeTable* findTable(int table) {
    for (const CodeTable& known : codeTables)
        if (known.number == table) return &known;
    return nullptr;
}

// The Katakana table's bytes around its half-width katakana (A1-DF, which Shift JIS has too):
// block elements and box drawing at 80-9F, box drawing, shapes, card suits and the kanji of
// dates and addresses at E0-FF, as the printer's code page chart draws them.
constexpr char32_t katakanaGraphics[64] = {
    U'▁',  U'▂',  U'▃',  U'▄',  U'▅',  U'▆',  U'▇',  U'█',  U'▏',  U'▎',  U'▍',  U'▌',  U'▋',
    U'▊',  U'▉',  U'┼',  U'┴',  U'┬',  U'┤',  U'├',  U'▔',  U'─',  U'│',  U'▕',  U'┌',  U'┐',
    U'└',  U'┘',  U'╭',  U'╮',  U'╰',  U'╯',  U'═',  U'╞',  U'╪',  U'╡',  U'◢',  U'◣',  U'◥',
    U'◤',  U'♠',  U'♥',  U'♦',  U'♣',  U'●',  U'○',  U'╱',  U'╲',  U'╳',  U'円', U'年', U'月',
    U'日', U'時', U'分', U'秒', U'〒', U'市', U'区', U'町', U'村', U'人', U'▒',  U' ',
};

// A code point the head can draw: none for the C0 and C1 control characters that some
// tables map their upper half to.
char32_t printable(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) ? 0 : c;
}

std::array<char32_t, 128> upperHalf(const CodeTable& table) {
    std::array<char32_t, 128> half{};
    Converter converter(table.iconvName);
    for (int i = 0; i < 128; ++i) {
        const auto byte = static_cast<std::uint8_t>(0x80 + i);
        if (table.number == 1 && (byte < 0xA0 || byte >= 0xE0)) {
            half[static_cast<std::size_t>(i)] =
                katakanaGraphics[byte < 0xA0 ? byte - 0x80 : byte - 0xC0];
            continue;
        }
        const char single = static_cast<char>(byte);
        if (converter.ok())
            half[static_cast<std::size_t>(i)] = printable(convertOne(converter.handle, &single, 1));
    }
    // The Katakana table's A0 is a space, which Shift JIS leaves out.
    if (table.number == 1) half[0x20] = U' ';
    return half;
}

// ESC R: the twelve ASCII positions that national character sets replace, and each set's
// characters there.
constexpr std::array<std::uint8_t, 12> nationalPositions = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D,
                                                            0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
constexpr std::u32string_view nationalSets[] = {
    U"#$@[\\]^`{|}~",  // 0 U.S.A.
    U"#$à°ç§^`éùè¨",   // 1 France
    U"#$§ÄÖÜ^`äöüß",   // 2 Germany
    U"£$@[\\]^`{|}~",  // 3 U.K.
    U"#$@ÆØÅ^`æøå~",   // 4 Denmark I
    U"#¤ÉÄÖÅÜéäöåü",   // 5 Sweden
    U"#$@°\\é^ùàòèì",  // 6 Italy
    U"₧$@¡Ñ¿^`¨ñ}~",   // 7 Spain I
    U"#$@[¥]^`{|}~",   // 8 Japan
    U"#¤ÉÆØÅÜéæøåü",   // 9 Norway
    U"#$ÉÆØÅÜéæøåü",   // 10 Denmark II
    U"#$á¡Ñ¿é`íñóú",   // 11 Spain II
    U"#$á¡Ñ¿éüíñóú",   // 12 Latin America
    U"#$@[₩]^`{|}~",   // 13 Korea
    U"#$ŽŠĐĆČžšđćč",   // 14 Slovenia / Croatia
    U"#¥@[\\]^`{|}~",  // 15 China
    U"#₫@[\\]^`{|}~",  // 16 Vietnam
    U"#$@[\\]^`{|}~",  // 17 Arabia
};
static_assert(std::all_of(std::begin(nationalSets), std::end(nationalSets),
                          [](std::u32string_view set) { return set.size() == 12; }));

}  // namespace

char32_t gbkCharacter(std::uint8_t lead, std::uint8_t trail) {
    return romPair(gbkTable().data(), lead, trail);
}

const char* romName(CharacterRom rom) {
    return roms[static_cast<std::size_t>(rom)].name;
}

const char* romKey(CharacterRom rom) {
    return roms[static_cast<std::size_t>(rom)].key;
}

std::optional<CharacterRom> romNamed(std::string_view key) {
    for (const auto& known : roms)
        if (key == known.key) return known.rom;
    return std::nullopt;
}

std::size_t romCodeLength(std::string_view in) {
    if (in.size() < 2) return 0;
    if (!isFourByteDigit(static_cast<std::uint8_t>(in[1]))) return 2;
    if (in.size() < 3) return 0;
    if (!isGbkLead(static_cast<std::uint8_t>(in[2]))) return 2;
    if (in.size() < 4) return 0;
    return isFourByteDigit(static_cast<std::uint8_t>(in[3])) ? 4 : 2;
}

const char32_t* romPairs(CharacterRom rom) {
    switch (rom) {
        case CharacterRom::Gb2312: {
            // EUC-CN: GB2312's rows and cells are A1-FE; GBK's additions lie around them.
            static const std::vector<char32_t> table = pairTable("EUC-CN");
            return table.data();
        }
        case CharacterRom::Gbk:
            return gbkTable().data();
        case CharacterRom::Gb18030: {
            // GBK and a few codes more, such as the euro sign at A2E3.
            static const std::vector<char32_t> table = pairTable("GB18030");
            return table.data();
        }
    }
    return gbkTable().data();
}

char32_t romCharacter(CharacterRom rom, std::string_view code) {
    if (code.size() == 4) return rom == CharacterRom::Gb18030 ? fourByteCharacter(code) : 0;
    return romPair(romPairs(rom), static_cast<std::uint8_t>(code[0]),
                   static_cast<std::uint8_t>(code[1]));
}

char32_t codeTableCharacter(int table, std::uint8_t byte) {
    if (byte < 0x80) return byte;
    const CodeTable* known = findTable(table);
    if (known == nullptr || *known->iconvName == '\0') return 0;
    static std::mutex guard;
    static std::array<std::unique_ptr<std::array<char32_t, 128>>, 256> upperHalves;
    const std::lock_guard lock(guard);
    auto& half = upperHalves[static_cast<std::size_t>(table)];
    if (!half) half = std::make_unique<std::array<char32_t, 128>>(upperHalf(*known));
    return (*half)[byte - 0x80];
}

const char* codeTableName(int table) {
    const CodeTable* known = findTable(table);
    return known == nullptr ? "" : known->name;
}

bool isInternationalSet(int set) {
    return set >= 0 && set < static_cast<int>(std::size(nationalSets));
}

char32_t internationalCharacter(int set, std::uint8_t byte) {
    // U.S.A., the set nearly every receipt keeps, changes nothing.
    if (set == 0 || !isInternationalSet(set)) return byte;
    for (std::size_t i = 0; i < nationalPositions.size(); ++i)
        if (nationalPositions[i] == byte) return nationalSets[set][i];
    return byte;
}

}  // namespace vp
