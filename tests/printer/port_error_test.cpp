#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <string>

#include "port_error.h"

namespace {

// Every byte sequence is whole UTF-8 with no question mark standing in for a character.
bool isWholeUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80       ? 1
                                   : lead >> 5 == 6  ? 2
                                   : lead >> 4 == 14 ? 3
                                   : lead >> 3 == 30 ? 4
                                                     : 0;
        if (length == 0 || i + length > text.size() || lead == '?') return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// The locale variables as a desktop sets them; the texts of the box (the system's and our own)
// are whole UTF-8 in each, in the language of the messages locale. The Chinese and American
// locales come from the tests' own locale folder (LOCPATH).
TEST(ErrorTexts, AreWholeInTheMessagesLanguageWhateverTheLocaleVariables) {
    struct Case {
        const char* lcAll;
        const char* lang;
        const char* lcMessages;
        const char* lcCtype;
        bool chinese;
    };
    const Case cases[] = {
        {nullptr, "C", "zh_CN.UTF-8", nullptr, true},
        {nullptr, "C.UTF-8", "zh_CN.UTF-8", nullptr, true},
        {nullptr, "en_US.UTF-8", "zh_CN.UTF-8", nullptr, true},
        {nullptr, "zh_CN.UTF-8", nullptr, nullptr, true},
        {nullptr, "zh_CN.UTF-8", nullptr, "C", true},
        {"zh_CN.UTF-8", "C", nullptr, nullptr, true},
        {nullptr, "zh_CN.UTF-8", "C", nullptr, false},
        {"C", "zh_CN.UTF-8", nullptr, nullptr, false},
        {nullptr, "en_US.UTF-8", nullptr, "zh_CN.UTF-8", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("LC_ALL=") + (c.lcAll ? c.lcAll : "") + " LANG=" + c.lang +
                     " LC_MESSAGES=" + (c.lcMessages ? c.lcMessages : "") +
                     " LC_CTYPE=" + (c.lcCtype ? c.lcCtype : ""));
        const std::pair<const char*, const char*> variables[] = {{"LC_ALL", c.lcAll},
                                                                 {"LANG", c.lang},
                                                                 {"LC_MESSAGES", c.lcMessages},
                                                                 {"LC_CTYPE", c.lcCtype}};
        for (const auto& [name, value] : variables) {
            if (value != nullptr) {
                setenv(name, value, 1);
            } else {
                unsetenv(name);
            }
        }
        unsetenv("LANGUAGE");
        ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr)
            << "a locale of this case is missing: run through ctest, which compiles them into "
               "LOCPATH";
        const std::string system = systemErrorText(ENOENT);
        const std::string own = ownDescription("English", "中文");
        std::setlocale(LC_ALL, "C");
        EXPECT_TRUE(isWholeUtf8(system)) << system;
        EXPECT_EQ(system, c.chinese ? "没有那个文件或目录" : "No such file or directory");
        EXPECT_EQ(own, c.chinese ? "中文" : "English");
    }
}

}  // namespace
