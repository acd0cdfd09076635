#include "character_sets.h"

#include <iconv.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
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

constexpr int gbkTrails = 0xFF - 0x40;

// Every GBK pair looked up once, so that decoding costs a table access per character.
const std::vector<char32_t>& gbkTable() {
    static const std::vector<char32_t> table = [] {
        std::vector<char32_t> codes(0x7F * gbkTrails, 0);
        Converter converter("CP936");
        if (!converter.ok()) return codes;
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (trail == 0x7F) continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                codes[(lead - 0x80) * gbkTrails + (trail - 0x40)] =
                    convertOne(converter.handle, pair, 2);
            }
        }
        return codes;
    }();
    return table;
}

struct CodeTable {
    int number;
    const char* name;
    const char* iconvName;
};

constexpr CodeTable codeTables[] = {
    {0, "PC437", "CP437"},   {2, "PC850", "CP850"},  {3, "PC860", "CP860"},
    {4, "PC863", "CP863"},   {5, "PC865", "CP865"},  {16, "WPC1252", "CP1252"},
    {17, "PC866", "CP866"},  {18, "PC852", "CP852"}, {19, "PC858", "CP858"},
    {255, "space page", ""},
};

const CodeTable* findTable(int table) {
    for (const CodeTable& known : codeTables)
        if (known.number == table) return &known;
    return nullptr;
}

}  // namespace

char32_t gbkCharacter(std::uint8_t lead, std::uint8_t trail) {
    if (!isGbkLead(lead) || trail < 0x40 || trail == 0x7F || trail == 0xFF) return 0;
    return gbkTable()[(lead - 0x80) * gbkTrails + (trail - 0x40)];
}

char32_t codeTableCharacter(int table, std::uint8_t byte) {
    if (byte < 0x80) return byte;
    const CodeTable* known = findTable(table);
    if (known == nullptr || *known->iconvName == '\0') return 0;
    static std::mutex guard;
    static std::array<std::unique_ptr<std::array<char32_t, 128>>, 256> upperHalves;
    const std::lock_guard lock(guard);
    auto& half = upperHalves[static_cast<std::size_t>(table)];
    if (!half) {
        half = std::make_unique<std::array<char32_t, 128>>();
        Converter converter(known->iconvName);
        for (int i = 0; i < 128; ++i) {
            const char single = static_cast<char>(0x80 + i);
            (*half)[static_cast<std::size_t>(i)] =
                converter.ok() ? convertOne(converter.handle, &single, 1) : 0;
        }
    }
    return (*half)[byte - 0x80];
}

const char* codeTableName(int table) {
    const CodeTable* known = findTable(table);
    return known == nullptr ? "" : known->name;
}

}  // namespace vp
