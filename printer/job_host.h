#pragma once

#include <chrono>
#include <string>
#include <string_view>

// The few services a printer job needs from the window that started it. The
// main window implements this; tests implement it without any window.
class JobHost {
public:
    virtual ~JobHost() = default;

    // The port selector's current edited text (UTF-8), read at the moment
    // the job asks for it. May throw PortError when it cannot be read.
    virtual std::string portName() = 0;

    // Processes the window events that are waiting. With a non-zero
    // waitUpTo it first waits that long at most for an event to arrive, so
    // that a job pausing in a loop costs no processor time.
    virtual void pumpEvents(std::chrono::milliseconds waitUpTo = std::chrono::milliseconds(0)) = 0;

    // Modal boxes with a single OK button; they return when dismissed.
    // Texts are UTF-8.
    virtual void showInformation(std::string_view title, std::string_view text) = 0;
    virtual void showCritical(std::string_view title, std::string_view text) = 0;
};
