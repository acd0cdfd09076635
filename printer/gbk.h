#pragma once

#include <string>
#include <string_view>

// Converts printer text to the printer's Chinese code page (GBK, Microsoft's
// code page 936). A character without a GBK code throws PortError naming the
// character; nothing is ever substituted.
std::string toGbk(std::u8string_view text);

// A short description in the user's language for failures of our own, in the
// style of the system's error texts: Chinese when the messages locale is
// Chinese, English otherwise.
std::string ownDescription(std::string_view english, std::string_view chinese);
