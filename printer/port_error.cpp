#include "port_error.h"

#include <clocale>
#include <cstring>

std::string systemErrorText(int errorNumber) {
    // strerror follows LC_MESSAGES, which the program sets from the user's
    // environment at start.
    return std::strerror(errorNumber);
}

std::string ownDescription(std::string_view english, std::string_view chinese) {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    const bool isChinese = messages != nullptr && std::strncmp(messages, "zh", 2) == 0;
    return std::string(isChinese ? chinese : english);
}
