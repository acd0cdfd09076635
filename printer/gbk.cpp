#include "gbk.h"

#include <cerrno>
#include <cstdio>

#include <iconv.h>

#include "port_error.h"

namespace {

// The whole UTF-8 sequence that starts at `at`, and its code point.
std::pair<std::string_view, char32_t> characterAt(std::u8string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    length = std::min(length, text.size() - at);
    char32_t codePoint = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {{reinterpret_cast<const char*>(text.data()) + at, length}, codePoint};
}

}  // namespace

namespace {

std::string convert(std::u8string_view text, const char* encoding, const std::string& name) {
    iconv_t converter = iconv_open(encoding, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        throw PortError(ownDescription(name + " conversion is not available on this system",
                                       "系统不支持" + name + "编码转换"));
    }
    // GBK never needs more than two bytes for a character that UTF-8 writes
    // in at least one.
    std::string out(text.size() * 2, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    const int error = errno;
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) {
        const std::size_t at = text.size() - inLeft;
        const auto [character, codePoint] = characterAt(text, at);
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codePoint));
        if (error == EILSEQ || error == EINVAL) {
            throw PortError(ownDescription(
                "The character \"" + std::string(character) + "\" (" + code + ") has no " + name +
                    " code",
                "字符“" + std::string(character) + "”(" + code + ")没有" + name + "编码"));
        }
        throw PortError(systemErrorText(error));
    }
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

std::string toGbk(std::u8string_view text) {
    return convert(text, "CP936", "GBK");
}

std::string toGb18030(std::u8string_view text) {
    return convert(text, "GB18030", "GB18030");
}
