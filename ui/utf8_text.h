#pragma once

#include <QString>
#include <string_view>

// The tool's own texts (job messages, the deployer's contact data, the port placeholder) are
// UTF-8; the windows show them as QString.
inline QString qtText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline QString qtText(std::u8string_view utf8) {
    return qtText(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}
