// The commands the printer knows: each one's prefix, how its length is read, and its handler.
#include "decoder_internals.h"

namespace vp {

using namespace decoding;

namespace {

// A count of `size` bytes at `at` in the header, lowest first, as pL pH or p1 p2 p3 p4.
template <std::size_t at, std::size_t size>
std::size_t littleEndian(std::string_view header) {
    std::size_t count = 0;
    for (std::size_t i = size; i-- > 0;) count = count * 256 + byteAt(header, at + i);
    return count > 0 ? count : outOfRange;
}

// ESC * m nL nH: columns of one or three bytes.
std::size_t bitImageBytes(std::string_view header) {
    const std::uint8_t m = byteAt(header, 0);
    const std::size_t columns = little(header, 1);
    if (columns == 0) return outOfRange;
    return m <= 1 ? columns : (m == 32 || m == 33) ? 3 * columns : outOfRange;
}

// GS v 0 m xL xH yL yH: rows of x bytes.
std::size_t rasterBytes(std::string_view header) {
    const std::size_t size = little(header, 1) * little(header, 3);
    return digitOrValue(byteAt(header, 0)) <= 3 && size > 0 ? size : outOfRange;
}

// ESC p m t1 t2: the pin decides whether the times follow.
std::size_t drawerPulseParameters(std::string_view first) {
    return drawerPin(byteAt(first, 0)) != 0 ? 3 : outOfRange;
}

// GS V m [n]: cuts 65 and 66 feed n dots first.
std::size_t cutParameters(std::string_view first) {
    const std::uint8_t m = byteAt(first, 0);
    return digitOrValue(m) <= 1 ? 1 : (m == 65 || m == 66) ? 2 : outOfRange;
}

// DLE DC4 fn ...: only the drawer pulse, fn 1 m t, is known.
std::size_t realTimeFunctionParameters(std::string_view first) {
    return byteAt(first, 0) == 1 ? 3 : outOfRange;
}

// GS * x y: x × 8 columns of y bytes.
std::size_t downloadedImageBytes(std::string_view header) {
    const std::size_t size = 8u * byteAt(header, 0) * byteAt(header, 1);
    return size > 0 ? size : outOfRange;
}

// FS q n [xL xH yL yH d1...dk]1...[...]n: n pictures of x × 8 columns of y bytes, each with
// its own header. Returns the length after the prefix as far as the headers that have arrived
// tell it: more than `in` holds until the last header is in.
std::size_t nvBitImagesBytes(std::string_view in) {
    const std::size_t count = byteAt(in, 0);
    if (count == 0) return outOfRange;
    std::size_t at = 1;
    for (std::size_t image = 0; image < count; ++image) {
        if (in.size() < at + 4) return at + 4;
        const std::size_t x = little(in, at), y = little(in, at + 2);
        if (x == 0 || x > 1023 || y == 0 || y > 288) return outOfRange;
        const std::size_t size = 8 * x * y;
        at += 4 + size;
    }
    return at;
}

// DC2 * r n: r rows of n bytes.
std::size_t rowsOfBytes(std::string_view header) {
    const std::size_t size = std::size_t(byteAt(header, 0)) * byteAt(header, 1);
    return size > 0 ? size : outOfRange;
}

constexpr Length fixed(std::size_t parameters) {
    return {Length::Form::Fixed, parameters};
}

constexpr Length chosen(std::size_t (*parameters)(std::string_view first)) {
    return {Length::Form::Chosen, 1, parameters};
}

constexpr Length block(std::size_t header, std::size_t (*dataBytes)(std::string_view header)) {
    return {Length::Form::Block, header, dataBytes};
}

constexpr Length barcodeData() {
    return {Length::Form::Barcode};
}

constexpr Length walked(std::size_t (*bytes)(std::string_view afterPrefix)) {
    return {Length::Form::Walked, 1, bytes};
}

}  // namespace

// Every command the printer knows, by its prefix; where prefixes overlap the longest applies.
const Decoder::Command Decoder::commands[] = {
    // ESC: print modes, layout, feeds, cuts, drawer.
    {"\x1B\x21", fixed(1), &Decoder::printModes},                            // ESC !
    {"\x1B\x45", fixed(1), &Decoder::emphasis},                              // ESC E
    {"\x1B\x47", fixed(1), &Decoder::doubleStrike},                          // ESC G
    {"\x1B\x2D", fixed(1), &Decoder::underline},                             // ESC -
    {"\x1B\x4D", fixed(1), &Decoder::characterFont},                         // ESC M
    {"\x1B\x61", fixed(1), &Decoder::justification},                         // ESC a
    {"\x1B\x33", fixed(1), &Decoder::lineSpacing},                           // ESC 3
    {"\x1B\x32", fixed(0), &Decoder::defaultLineSpacing},                    // ESC 2
    {"\x1B\x64", fixed(1), &Decoder::feedLines},                             // ESC d
    {"\x1B\x4A", fixed(1), &Decoder::feedDots},                              // ESC J
    {"\x1B\x20", fixed(1), &Decoder::rightSpacing},                          // ESC SP
    {"\x1B\x74", fixed(1), &Decoder::codeTable},                             // ESC t
    {"\x1B\x52", fixed(1), &Decoder::internationalSet},                      // ESC R
    {"\x1B\x24", fixed(2), &Decoder::absolutePosition},                      // ESC $
    {"\x1B\x5C", fixed(2), &Decoder::relativePosition},                      // ESC backslash
    {"\x1B\x40", fixed(0), &Decoder::initialise},                            // ESC @
    {"\x1B\x69", fixed(0), &Decoder::partialCut},                            // ESC i
    {"\x1B\x6D", fixed(0), &Decoder::partialCut},                            // ESC m
    {"\x1B\x70", chosen(drawerPulseParameters), &Decoder::drawerPulse},      // ESC p
    {"\x1B\x2A", block(3, bitImageBytes), &Decoder::bitImage, "bit image"},  // ESC *
    {"\x1B\x56", fixed(1), &Decoder::rotation},                              // ESC V
    {"\x1B\x7B", fixed(1), &Decoder::upsideDown},                            // ESC {
    // GS: character size, barcodes, cuts, pictures, replies.
    {"\x1D\x21", fixed(1), &Decoder::characterSize},                                     // GS !
    {"\x1D\x4C", fixed(2), &Decoder::leftMargin},                                        // GS L
    {"\x1D\x57", fixed(2), &Decoder::printingAreaWidth},                                 // GS W
    {"\x1D\x42", fixed(1), &Decoder::reversePrinting},                                   // GS B
    {"\x1D\x56", chosen(cutParameters), &Decoder::cutPaper},                             // GS V
    {"\x1D\x68", fixed(1), &Decoder::barcodeHeight},                                     // GS h
    {"\x1D\x77", fixed(1), &Decoder::moduleWidth},                                       // GS w
    {"\x1D\x48", fixed(1), &Decoder::hriPosition},                                       // GS H
    {"\x1D\x66", fixed(1), &Decoder::hriFont},                                           // GS f
    {"\x1D\x6B", barcodeData(), &Decoder::barcode, "barcode"},                           // GS k
    {"\x1D\x76\x30", block(5, rasterBytes), &Decoder::rasterImage, "raster bit image"},  // GS v 0
    {"\x1D\x28\x4C", block(2, littleEndian<0, 2>), &Decoder::function, "graphics"},      // GS ( L
    {"\x1D\x38\x4C", block(4, littleEndian<0, 4>), &Decoder::function, "graphics"},      // GS 8 L
    {"\x1D\x2A", block(2, downloadedImageBytes), &Decoder::defineDownloadedImage},       // GS *
    {"\x1D\x28\x6B", block(2, littleEndian<0, 2>), &Decoder::function, "2-D symbol"},    // GS ( k
    {"\x1D\x2F", fixed(1), &Decoder::printDownloadedImage},                              // GS /
    {"\x1D\x61", fixed(1), &Decoder::statusBack},                                        // GS a
    {"\x1D\x72", fixed(1), &Decoder::statusRequest},                                     // GS r
    {"\x1D\x49", fixed(1), &Decoder::idRequest},                                         // GS I
    // The printer's own diagnosis: test prints, user settings, maintenance counters.
    {"\x1D\x28\x41", block(2, littleEndian<0, 2>), &Decoder::function, "test print"},    // GS ( A
    {"\x1D\x28\x45", block(2, littleEndian<0, 2>), &Decoder::function, "user setting"},  // GS ( E
    {"\x1D\x67\x30", fixed(3), &Decoder::resetCounter},                                  // GS g 0
    {"\x1D\x67\x32", fixed(3), &Decoder::sendCounter},                                   // GS g 2
    // FS: Chinese characters.
    {"\x1C\x26", fixed(0), &Decoder::kanjiOn},                                             // FS &
    {"\x1C\x2E", fixed(0), &Decoder::kanjiOff},                                            // FS .
    {"\x1C\x71", walked(nvBitImagesBytes), &Decoder::defineNvBitImages, "NV bit images"},  // FS q
    {"\x1C\x70", fixed(2), &Decoder::printNvBitImage},                                     // FS p
    {"\x1C\x53", fixed(2), &Decoder::kanjiSpacing},                                        // FS S
    {"\x1C\x21", fixed(1), &Decoder::kanjiModes},                                          // FS !
    {"\x1C\x2D", fixed(1), &Decoder::kanjiUnderline},                                      // FS -
    {"\x1C\x57", fixed(1), &Decoder::kanjiQuadruple},                                      // FS W
    {"\x1C\x43", fixed(1), &Decoder::setting, "Kanji code system"},                        // FS C
    {"\x1C\x28\x41", block(2, littleEndian<0, 2>), &Decoder::setting,
     "Kanji character font"},                                                         // FS ( A
    {"\x1C\x28", block(2, littleEndian<0, 2>), &Decoder::notDrawn, "FS ( function"},  // FS (
    // DLE: real-time requests, acted on as they arrive (see feed()).
    {"\x10\x04", fixed(1), &Decoder::realTime, "DLE EOT"},                            // DLE EOT
    {"\x10\x05", fixed(1), &Decoder::realTime, "DLE ENQ"},                            // DLE ENQ
    {"\x10\x14", chosen(realTimeFunctionParameters), &Decoder::realTime, "DLE DC4"},  // DLE DC4
    // Settings without effect on paper.
    {"\x1B\x63\x33", fixed(1), &Decoder::setting,
     "paper sensors for paper-end signals"},                                          // ESC c 3
    {"\x1B\x63\x34", fixed(1), &Decoder::setting, "paper sensors to stop printing"},  // ESC c 4
    {"\x1B\x63\x35", fixed(1), &Decoder::setting, "panel buttons"},                   // ESC c 5
    {"\x1B\x3D", fixed(1), &Decoder::setting, "peripheral device"},                   // ESC =
    {"\x1B\x55", fixed(1), &Decoder::setting, "unidirectional printing"},             // ESC U
    {"\x1B\x75", fixed(1), &Decoder::setting, "peripheral status request"},           // ESC u
    {"\x1B\x76", fixed(0), &Decoder::setting, "paper sensor status request"},         // ESC v
    {"\x1B\x37", fixed(3), &Decoder::setting, "heating"},                             // ESC 7
    {"\x1D\x62", fixed(1), &Decoder::setting, "smoothing"},                           // GS b
    {"\x1D\x50", fixed(2), &Decoder::motionUnits},                                    // GS P
    // Commands that change the paper but are not drawn (yet): a marker shows where.
    {"\x1B\x25", fixed(1), &Decoder::notDrawn, "user-defined characters"},            // ESC %
    {"\x1D\x28", block(3, littleEndian<1, 2>), &Decoder::notDrawn, "GS ( function"},  // GS (
    // Other dialects that libraries send: ESC/P's italic, a beeper, and the DC2 commands of
    // Chinese makers' small printers (print density, self-test page, raster bitmap).
    {"\x1B\x34", fixed(0), &Decoder::otherDialect, "ESC/P italic on"},          // ESC 4
    {"\x1B\x35", fixed(0), &Decoder::otherDialect, "ESC/P italic off"},         // ESC 5
    {"\x1B\x42", fixed(2), &Decoder::otherDialect, "beeper"},                   // ESC B n t
    {"\x12\x23", fixed(1), &Decoder::otherDialect, "DC2 print density"},        // DC2 #
    {"\x12\x54", fixed(0), &Decoder::otherDialect, "DC2 test page"},            // DC2 T
    {"\x12\x2A", block(2, rowsOfBytes), &Decoder::otherDialect, "DC2 bitmap"},  // DC2 *
};

std::span<const Decoder::Command> Decoder::commandTable() {
    return commands;
}

// The functions of commands that have them, by the command's prefix and the bytes that
// select the function.
// GS ( k by cn fn: QR Code (49), PDF417 (48) and DataMatrix (54) store, print and measure
// their data; their other functions are settings; other symbols are listed only.
const Decoder::Function Decoder::functions[] = {
    {"\x1D\x28\x6B", "\x31\x50", &Decoder::storeSymbolData},
    {"\x1D\x28\x6B", "\x31\x51", &Decoder::printStoredSymbol},
    {"\x1D\x28\x6B", "\x31\x52", &Decoder::symbolSize},
    {"\x1D\x28\x6B", "\x31", &Decoder::symbolSetting},
    {"\x1D\x28\x6B", "\x30\x50", &Decoder::storeSymbolData},
    {"\x1D\x28\x6B", "\x30\x51", &Decoder::printStoredSymbol},
    {"\x1D\x28\x6B", "\x30\x52", &Decoder::symbolSize},
    {"\x1D\x28\x6B", "\x30", &Decoder::symbolSetting},
    {"\x1D\x28\x6B", "\x36\x50", &Decoder::storeSymbolData},
    {"\x1D\x28\x6B", "\x36\x51", &Decoder::printStoredSymbol},
    {"\x1D\x28\x6B", "\x36\x52", &Decoder::symbolSize},
    {"\x1D\x28\x6B", "\x36", &Decoder::symbolSetting},
    {"\x1D\x28\x6B", "", &Decoder::undrawnSymbol},
    // GS ( L (and GS 8 L) by m fn; m is always 48. Requests of capacity and key codes and
    // the reference dot density print nothing and are passed over.
    {"\x1D\x28\x4C", "\x30\x70", &Decoder::rasterGraphics},
    {"\x1D\x28\x4C", "\x30\x71", &Decoder::rasterGraphics},
    {"\x1D\x28\x4C", "\x30\x32", &Decoder::printGraphicsBuffer},
    {"\x1D\x28\x4C", "\x30\x43", &Decoder::defineGraphics},
    {"\x1D\x28\x4C", "\x30\x44", &Decoder::defineGraphics},
    {"\x1D\x28\x4C", "\x30\x53", &Decoder::defineGraphics},
    {"\x1D\x28\x4C", "\x30\x54", &Decoder::defineGraphics},
    {"\x1D\x28\x4C", "\x30\x45", &Decoder::printDefinedGraphics},
    {"\x1D\x28\x4C", "\x30\x55", &Decoder::printDefinedGraphics},
    {"\x1D\x28\x4C", "\x30\x41", &Decoder::deleteAllGraphics},
    {"\x1D\x28\x4C", "\x30\x51", &Decoder::deleteAllGraphics},
    {"\x1D\x28\x4C", "\x30\x42", &Decoder::deleteGraphics},
    {"\x1D\x28\x4C", "\x30\x52", &Decoder::deleteGraphics},
    {"\x1D\x28\x4C", "\x30", &Decoder::graphicsRequest},
    // GS ( A by m, after the paper's n: hex dump, the status printout; the rolling pattern
    // and the others are listed only.
    {"\x1D\x28\x41", "\x01", &Decoder::hexDumpMode, 1},
    {"\x1D\x28\x41", "\x31", &Decoder::hexDumpMode, 1},
    {"\x1D\x28\x41", "\x02", &Decoder::statusPrintout, 1},
    {"\x1D\x28\x41", "\x32", &Decoder::statusPrintout, 1},
    {"\x1D\x28\x41", "", &Decoder::otherTestPrint},
    // GS ( E by fn: the user setting mode, memory switches and customized values.
    {"\x1D\x28\x45", "\x01", &Decoder::enterUserSetting},
    {"\x1D\x28\x45", "\x02", &Decoder::endUserSetting},
    {"\x1D\x28\x45", "\x03", &Decoder::setMemorySwitches},
    {"\x1D\x28\x45", "\x04", &Decoder::sendSetting},
    {"\x1D\x28\x45", "\x05", &Decoder::setCustomizedValues},
    {"\x1D\x28\x45", "\x06", &Decoder::sendSetting},
    {"\x1D\x28\x45", "", &Decoder::otherUserSetting},
};

std::span<const Decoder::Function> Decoder::functionTable() {
    return functions;
}

}  // namespace vp
