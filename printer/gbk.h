#pragma once

#include <string>
#include <string_view>

// Converts printer text to the printer's Chinese code page (GBK, Microsoft's
// code page 936). A character without a GBK code throws PortError naming the
// character; nothing is ever substituted.
std::string toGbk(std::u8string_view text);

// The same in GB18030, which also has four-byte codes for the characters GBK lacks.
std::string toGb18030(std::u8string_view text);
