#include "printer_replies.h"

namespace vp {

std::string realTimeStatus(int, const PrinterState&) {
    return {};
}

std::string printerId(int, const PrinterState&) {
    return {};
}

std::string transmittedStatus(int, const PrinterState&) {
    return {};
}

std::string automaticStatusBack(const PrinterState&) {
    return {};
}

}  // namespace vp
