#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

// A failure of a job step, carrying the description that follows
// "出错提示:" in the error box.
class PortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The description of a system error number in the user's language, as UTF-8.
std::string systemErrorText(int errorNumber);
// The description of a getaddrinfo() failure in the user's language, as UTF-8.
std::string lookupErrorText(int lookupError);

// A short description in the user's language for failures of our own, in the
// style of the system's error texts: Chinese when the messages locale is
// Chinese, English otherwise.
std::string ownDescription(std::string_view english, std::string_view chinese);

// "5", "0.5": a time bound in seconds, as the technician reads it.
std::string secondsText(std::chrono::milliseconds bound);
