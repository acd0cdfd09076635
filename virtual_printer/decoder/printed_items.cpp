#include "printed_items.h"

#include <cstdio>

namespace vp {

int heightDots(const Item& item) {
    if (const auto* line = std::get_if<PrintedLine>(&item)) return line->height;
    if (const auto* barcode = std::get_if<Barcode>(&item)) return barcode->height;
    return std::holds_alternative<Cut>(item) ? cutStripDots : 0;
}

int Receipt::heightDots() const {
    int height = 0;
    for (const Item& item : items) height += vp::heightDots(item);
    return height;
}

std::vector<std::string> Receipt::events() const {
    std::vector<std::string> texts;
    for (const Item& item : items)
        if (const auto* event = std::get_if<Event>(&item)) texts.push_back(event->text);
    return texts;
}

std::string hexBytes(std::string_view bytes, std::size_t shown) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < shown; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(bytes[i]));
        if (!text.empty()) text += ' ';
        text += pair;
    }
    if (bytes.size() > shown) text += " …";
    return text;
}

}  // namespace vp
