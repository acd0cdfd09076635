// What the printer sends back: real-time requests, status and ID requests, automatic status
// back.
#include "decoder_internals.h"

#include "printer_replies.h"

namespace vp {

using namespace decoding;

void Decoder::actOnRealTime(std::string_view request) {
    const std::uint8_t n = byteAt(request, 2);
    switch (byteAt(request, 1)) {
        case EOT:
            reply(realTimeStatus(n, state_), "DLE EOT " + number(n));
            break;
        case ENQ:
            // Recovery from errors that this printer never has.
            note("DLE ENQ " + number(n));
            break;
        default: {
            const int pin = drawerPin(byteAt(request, 3)), time = byteAt(request, 4) * 100;
            pulseDrawer("drawer pin " + number(pin) + " on " + number(time) + " ms off " +
                        number(time) + " ms by DLE DC4");
        }
    }
}

void Decoder::statusBack(const Received& command) {
    statusBackOn_ = command.parameter() != 0;
    note(statusBackOn_ ? "automatic status back on" : "automatic status back off");
    if (statusBackOn_) sendStatusBack();
}

void Decoder::statusRequest(const Received& command) {
    reply(transmittedStatus(command.parameter(), state_), "GS r " + number(command.parameter()));
}

void Decoder::idRequest(const Received& command) {
    reply(printerId(command.parameter(), state_), "GS I " + number(command.parameter()));
}

// Acted on when they arrived (see feed()); here only bytes that are no request are shown.
void Decoder::realTime(const Received& command) {
    if (realTimeLength(command.bytes) != command.bytes.size()) invalid(command);
}

void Decoder::reply(const std::string& bytes, const std::string& request) {
    if (bytes.empty()) {
        note("no reply to " + request);
    } else {
        sink_.reply(bytes);
        note(Event{"replied " + hexBytes(bytes, 16) + " to " + request, bytes});
    }
}

void Decoder::sendStatusBack() {
    const std::string frame = automaticStatusBack(state_);
    if (frame.empty()) return;
    sink_.reply(frame);
    note(Event{"automatic status back sent " + hexBytes(frame), frame});
}

}  // namespace vp
