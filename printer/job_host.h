#pragma once

#include <chrono>
#include <string>
#include <string_view>

// How long a job waits on its printer before it fails, or on the printer's answers.
struct PortLimits {
    // A printer that takes no byte for this long is stuck (offline, out of paper, flow control
    // held).
    std::chrono::milliseconds stall{5000};
    // Looking a network printer's name up and connecting to it.
    std::chrono::milliseconds connect{5000};
    // At close, output still on its way to the printer without any of it going.
    std::chrono::milliseconds drain{5000};
    // A status query: the first answer, each later one, and all of them together.
    std::chrono::milliseconds firstAnswer{500};
    std::chrono::milliseconds laterAnswer{300};
    std::chrono::milliseconds allAnswers{2000};
};

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

    // Waits at most `limit` until `fd` is ready for `events` (poll(2) flags; with none, simply
    // for `limit`) and tells whether it is. Meanwhile the window keeps painting and answering the
    // desktop, but user input that arrives is held back until the job's next pump point, so that
    // no click runs in the middle of a write.
    virtual bool waitOnDevice(int fd, short events, std::chrono::milliseconds limit) = 0;

    // The bounds of the job's waits on its printer.
    virtual PortLimits portLimits() const { return {}; }

    // Modal boxes with a single OK button; they return when dismissed.
    // Texts are UTF-8.
    virtual void showInformation(std::string_view title, std::string_view text) = 0;
    virtual void showCritical(std::string_view title, std::string_view text) = 0;
};
