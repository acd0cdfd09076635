#include "printer_replies.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace vp {
namespace {

// Bits of a status byte, named as the command reference numbers them.
constexpr std::uint8_t bit(int n) {
    return static_cast<std::uint8_t>(1u << n);
}

// DLE EOT answers are 0xx1xx10: bits 1 and 4 are always on, 0 and 7 always off, which is how
// a host tells them from other bytes the printer sends.
constexpr std::uint8_t realTimeFixed = bit(1) | bit(4);
// The first byte of automatic status back is 0xx1xx00.
constexpr std::uint8_t automaticFirstFixed = bit(4);

// Paper near end and paper end are each reported in two neighbouring bits, set together.
constexpr std::uint8_t bitPair(int low) {
    return bit(low) | bit(low + 1);
}

std::uint8_t offline(const PrinterState& state) {
    return state.printing() ? 0 : bit(3);
}

std::uint8_t drawerPin3(const PrinterState& state, int at) {
    return state.drawerOpen ? bit(at) : 0;
}

// GS r 1 and the third byte of automatic status back: near end in bits 0-1, end in bits 2-3.
std::uint8_t paperSensors(const PrinterState& state) {
    return static_cast<std::uint8_t>((state.paperNearEnd ? bitPair(0) : 0) |
                                     (state.paperEnd ? bitPair(2) : 0));
}

std::string bytes(std::initializer_list<std::uint8_t> values) {
    std::string out;
    for (std::uint8_t value : values) out += static_cast<char>(value);
    return out;
}

// Names are given in UTF-8 (the command line's, the program's own) but a GBK printer sends
// GBK. A character GBK has no code for goes as "?", as the printer's own tools would store it.
std::string gbkText(const std::string& utf8) {
    const iconv_t converter = iconv_open("CP936", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return utf8;
    std::string out;
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    while (inLeft > 0) {
        char buffer[256];
        char* at = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &at, &room);
        out.append(buffer, static_cast<std::size_t>(at - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // Not convertible, or not UTF-8: one character (its lead and continuation bytes) goes.
        out += '?';
        do {
            ++in;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
    iconv_close(converter);
    return out;
}

// GS I 65-69: header 5F, the text, NUL.
std::string textId(const std::string& text) {
    return '\x5F' + gbkText(text) + '\0';
}

}  // namespace

std::string realTimeStatus(int n, const PrinterState& state) {
    std::uint8_t status = realTimeFixed;
    switch (n) {
        // Printer: drawer pin 3 in bit 2, offline in bit 3 (the cover open or the paper out).
        // Bits 5 (waiting for online recovery) and 6 (feed button held) never apply here.
        case 1:
            status |= drawerPin3(state, 2) | offline(state);
            break;
        // Offline cause: cover open in bit 2, stopped at paper end in bit 5. Bits 3 (paper fed
        // by the button) and 6 (an error occurred) never apply here.
        case 2:
            status |= (state.coverOpen ? bit(2) : 0) | (state.paperEnd ? bit(5) : 0);
            break;
        // Error cause: recoverable (2), autocutter (3), unrecoverable (5), automatically
        // recoverable (6). The simulated printer has no errors: an open cover or no paper
        // takes it offline, which is not an error.
        case 3:
            break;
        // Roll paper sensors: near end in bits 2-3, end in bits 5-6.
        case 4:
            status |= static_cast<std::uint8_t>((state.paperNearEnd ? bitPair(2) : 0) |
                                                (state.paperEnd ? bitPair(5) : 0));
            break;
        default:
            return {};
    }
    return bytes({status});
}

std::string printerId(int n, const PrinterState& state) {
    switch (n) {
        case 1:
        case 49:
            return bytes({0x20});  // model ID: what the common 80 mm models answer
        case 2:
        case 50:
            // Type ID: multi-byte characters supported (bit 0), an autocutter (bit 1).
            return bytes({bit(0) | bit(1)});
        case 3:
        case 51:
            return bytes({0x01});  // ROM version ID
        case 65:
            return textId(firmwareVersion);
        case 66:
            return textId(makerName);
        case 67:
            return textId(state.model);
        case 68:
            return textId(serialNumber);
        case 69:
            // The font of language, as Simplified Chinese models name it.
            return textId(romName(state.rom));
        default:
            return {};
    }
}

std::string userSettingModeNotice() {
    return bytes({0x37, 0x20, 0x00});
}

std::string memorySwitchReply(int a, const PrinterState& state) {
    if (a < 1 || a > 8) return {};
    return bytes({0x37, 0x21}) + state.settings.memorySwitches[static_cast<std::size_t>(a - 1)] +
           '\0';
}

std::string customizedValueReply(int a, const PrinterState& state) {
    const auto value = state.settings.customized.find(a);
    if (value == state.settings.customized.end()) return {};
    // Negative densities are sent as the printer stores them, 65530 to 65535 for -6 to -1.
    const int sent = value->second < 0 ? value->second + 65536 : value->second;
    return bytes({0x37, 0x27}) + std::to_string(a) + '\x1F' + std::to_string(sent) + '\0';
}

std::string maintenanceCounterReply(std::optional<std::uint64_t> value) {
    if (!value) return {};
    return '\x5F' + std::to_string(*value) + '\0';
}

std::string transmittedStatus(int n, const PrinterState& state) {
    switch (n) {
        case 1:
        case 49:
            return bytes({paperSensors(state)});
        case 2:
        case 50:
            return bytes({drawerPin3(state, 0)});
        default:
            return {};
    }
}

std::string automaticStatusBack(const PrinterState& state) {
    // First byte: drawer pin 3 (2), offline (3), cover open (5), feed button (6). Second: the
    // error causes of DLE EOT 3, none here. Third: the paper sensors as GS r 1. Fourth: reserved.
    const auto first = static_cast<std::uint8_t>(automaticFirstFixed | drawerPin3(state, 2) |
                                                 offline(state) | (state.coverOpen ? bit(5) : 0));
    return bytes({first, 0x00, paperSensors(state), 0x00});
}

}  // namespace vp
