#pragma once

#include <QString>
#include <string_view>

// A value of the deployer's contact data (UTF-8) as the windows show it.
inline QString fromContact(std::u8string_view value) {
    return QString::fromUtf8(reinterpret_cast<const char*>(value.data()),
                             static_cast<qsizetype>(value.size()));
}
