#include "port_error.h"

#include <libintl.h>
#include <netdb.h>

#include <clocale>
#include <cstring>

namespace {

// The C library translates its texts into the messages locale's language but converts them to
// the character set of LC_CTYPE, which a desktop may leave at C (LANG=C LC_MESSAGES=zh_CN.UTF-8):
// every Chinese character would then come out as "?". The tool's texts are UTF-8 throughout, so
// the library is asked for UTF-8 whatever LC_CTYPE says.
void askForUtf8SystemTexts() {
    [[maybe_unused]] static const bool asked = bind_textdomain_codeset("libc", "UTF-8") != nullptr;
}

}  // namespace

std::string systemErrorText(int errorNumber) {
    // strerror follows LC_MESSAGES, which the program sets from the user's
    // environment at start.
    askForUtf8SystemTexts();
    return std::strerror(errorNumber);
}

std::string lookupErrorText(int lookupError) {
    askForUtf8SystemTexts();
    return gai_strerror(lookupError);
}

std::string ownDescription(std::string_view english, std::string_view chinese) {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    const bool isChinese = messages != nullptr && std::strncmp(messages, "zh", 2) == 0;
    return std::string(isChinese ? chinese : english);
}

std::string secondsText(std::chrono::milliseconds bound) {
    const auto tenths = (bound.count() + 50) / 100;
    // Appended rather than prefixed: GCC 12 at -O3 takes "." + std::string for an overlapping
    // copy (-Wrestrict) where there is none.
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0) {
        text += '.';
        text += std::to_string(tenths % 10);
    }
    return text;
}
