#pragma once

// What the decoder's files share: the bytes' names, the reading of parameters, and the shape
// of a row of the command table. Not for use outside the decoder.

#include <cstdint>
#include <string>
#include <string_view>

#include "escpos_decoder.h"

namespace vp {
namespace decoding {

inline constexpr std::uint8_t NUL = 0x00, EOT = 0x04, ENQ = 0x05, HT = 0x09, LF = 0x0A, CR = 0x0D,
                              DLE = 0x10, DC2 = 0x12, DC4 = 0x14, ESC = 0x1B, FS = 0x1C, GS = 0x1D;

inline constexpr std::size_t markerBytesShown = 8;
// Dots an inch across and along the paper.
inline constexpr int headDpi = 203;
inline constexpr std::size_t longestNulTerminatedData = 255;
// 1016 mm: the most paper a printer feeds for one command.
inline constexpr int longestFeedDots = 8128;
// A buffer that grew for a data block is given back once the block is done.
inline constexpr std::size_t smallBuffer = 64 << 10;

inline std::uint8_t byteAt(std::string_view in, std::size_t i) {
    return static_cast<std::uint8_t>(in[i]);
}

inline std::size_t little(std::string_view in, std::size_t at) {
    return byteAt(in, at) + 256u * byteAt(in, at + 1);
}

// Many parameters are accepted both as a value and as its ASCII digit: 1 and '1'.
inline int digitOrValue(std::uint8_t n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}

inline std::string number(std::size_t value) {
    return std::to_string(value);
}

inline std::string bytesMissing(std::size_t count) {
    return count == 1 ? "1 byte missing" : number(count) + " bytes missing";
}

// Where something `free` dots narrower than the printable width starts.
inline int alignedShift(Align align, int free) {
    return align == Align::Centre ? free / 2 : align == Align::Right ? free : 0;
}

// The drawer connector pin of ESC p and DLE DC4 1, or 0 for none.
inline int drawerPin(std::uint8_t m) {
    return (m == 0 || m == '0') ? 2 : (m == 1 || m == '1') ? 5 : 0;
}

inline bool within(std::uint8_t n, int lowest, int highest) {
    return n >= lowest && n <= highest;
}

// Real-time requests, as the printer recognises them in what arrives: returns the length of
// the one at the start of `in`, 0 when `in` does not start one, or `incompleteRequest` when
// `in` ends too soon to tell.
inline constexpr std::size_t incompleteRequest = std::size_t(-1);
inline std::size_t realTimeLength(std::string_view in) {
    if (in.empty() || byteAt(in, 0) != DLE) return 0;
    if (in.size() < 3) return incompleteRequest;
    const std::uint8_t command = byteAt(in, 1), n = byteAt(in, 2);
    if (command == EOT) return n >= 1 && n <= 4 ? 3 : 0;
    if (command == ENQ) return n == 1 || n == 2 ? 3 : 0;
    if (command != DC4 || n != 1) return 0;
    if (in.size() < 5) return incompleteRequest;
    const std::uint8_t m = byteAt(in, 3), t = byteAt(in, 4);
    return (m == 0 || m == 1) && t >= 1 && t <= 8 ? 5 : 0;
}

// Lengths that depend on parameters; `outOfRange` where they are invalid.
inline constexpr std::size_t outOfRange = std::size_t(-1);

// How a command's length is known once its prefix has arrived.
struct Length {
    enum class Form : std::uint8_t {
        Fixed,    // `parameters` bytes
        Chosen,   // the first parameter says how many there are: count(first)
        Block,    // a header of `parameters` bytes, then count(header) bytes of data
        Barcode,  // GS k: data ended by NUL or counted, as the barcode system says
        Walked,   // parts that each say their length: count(after the prefix) so far
    };
    Form form;
    std::size_t parameters = 0;
    std::size_t (*count)(std::string_view) = nullptr;
};

}  // namespace decoding

struct Decoder::Command {
    std::string_view prefix;
    decoding::Length length;
    void (Decoder::*handle)(const Received&);
    const char* name = "";  // for events about it
};

// A command whose bytes have all arrived.
struct Decoder::Received {
    const Command& command;
    std::string_view bytes;       // all of them
    std::string_view parameters;  // after the prefix, up to the data
    std::string_view data;
    std::uint8_t parameter(std::size_t i = 0) const { return decoding::byteAt(parameters, i); }
    std::string_view header() const {
        return bytes.substr(0, command.prefix.size() + parameters.size());
    }
};

// A function of a command: `selector` is what its data holds at `at` (cn fn for GS ( k, m fn
// for GS ( L, fn for GS ( E, m after the paper's n for GS ( A).
struct Decoder::Function {
    std::string_view prefix;
    std::string_view selector;
    void (Decoder::*handle)(const Received&);
    std::size_t at = 0;
};

}  // namespace vp
