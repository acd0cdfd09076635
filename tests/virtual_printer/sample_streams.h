#pragma once

#include <string>
#include <utility>
#include <vector>

#include "printed_items.h"

// Byte streams as a printer receives them from the tester, written out here from its command
// table and receipt layout (not produced by its code), and helpers to look at decoded items.

// UTF-8 text in the printer's GBK code page.
std::string gbk(const std::string& utf8);

// The technician receipt: the first connection (initialise, modes, banner, body modes) and
// the second one (date line, body, closing feeds).
std::string technicianBannerPhase();
std::string technicianTextPhase();
inline const char* barcodeJobHex = "1D 68 32 0A 1D 6B 49 05 7B 42 31 32 33 0A";
inline const char* cutJobHex = "1B 69 0A";
inline const char* drawerJobHex = "1B 70 00 80 80 0A";

// What an independent barcode reader (zbarimg) finds in a picture file: the text of its
// barcode, or a line "CODE-128:text" per barcode.
std::string scanBarcode(const std::string& pngPath);
std::vector<std::string> scanBarcodes(const std::string& pngPath);
// What an independent 2-D symbol reader (ZXingReader) finds in a picture file: a line
// "QRCode:text" per symbol, bytes that are no printable text in angle brackets.
std::vector<std::string> scanSymbols(const std::string& pngPath);
// What an independent text reader (tesseract, simplified Chinese, one block of lines) reads in
// a picture file.
std::string readText(const std::string& pngPath);
// Width and height from a PNG file's header, or 0 x 0.
std::pair<int, int> pngSize(const std::string& pngPath);

// One line per item, compact enough to compare whole receipts: `line 30/24 a@0/12"AB"` is a
// line 30 dots tall with ink 24 dots high, font A characters at x 0 with a 12-dot pitch.
std::string describe(const std::vector<vp::Item>& items);
