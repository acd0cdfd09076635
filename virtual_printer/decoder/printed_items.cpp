#include "printed_items.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vp {

RunText& RunText::operator=(RunText&& other) noexcept {
    if (this == &other) return *this;
    if (other.heap_) {
        heap_ = std::move(other.heap_);
        size_ = other.size_;
        capacity_ = other.capacity_;
    } else {
        heap_.reset();
        capacity_ = inPlace;
        size_ = other.size_;
        std::copy_n(other.local_, size_, local_);
    }
    other.size_ = 0;
    other.capacity_ = inPlace;
    return *this;
}

RunText& RunText::grow(std::u32string_view appended) {
    const std::size_t size = size_ + appended.size();
    const auto capacity = static_cast<std::uint32_t>(std::max<std::size_t>(size, 2 * capacity_));
    auto grown = std::make_unique_for_overwrite<char32_t[]>(capacity);
    std::char_traits<char32_t>::copy(grown.get(), data(), size_);
    std::char_traits<char32_t>::copy(grown.get() + size_, appended.data(), appended.size());
    heap_ = std::move(grown);
    capacity_ = capacity;
    size_ = static_cast<std::uint32_t>(size);
    return *this;
}

LineRuns::LineRuns(std::initializer_list<Run> runs) {
    PendingRuns line;
    for (const Run& run : runs) line.push_back(Run(run));
    *this = line.print();
}

Run& PendingRuns::emplace_back() {
    if (first_ + size_ == capacity_) {
        // The block is full: the line moves to a new one, and the lines printed before it
        // keep the old one.
        const std::size_t capacity = std::max(blockRuns, 2 * size_);
        auto block = std::make_shared<Run[]>(capacity);
        std::move(begin(), end(), block.get());
        block_ = std::move(block);
        capacity_ = capacity;
        first_ = 0;
    }
    return begin()[size_++];
}

LineRuns PendingRuns::print() {
    if (size_ == 0) return {};
    // Shares the block's ownership and points at the line's runs in it.
    LineRuns line(std::shared_ptr<const Run[]>(block_, begin()), size_);
    first_ += size_;
    size_ = 0;
    return line;
}

void PendingRuns::clear() {
    std::fill(begin(), end(), Run());
    size_ = 0;
}

Bitmap rasterBitmap(std::string_view data, int rowBytes, int widest) {
    Bitmap bitmap;
    bitmap.width = std::max(0, std::min(8 * rowBytes, widest));
    bitmap.height = rowBytes > 0 ? static_cast<int>(data.size()) / rowBytes : 0;
    const int kept = bitmap.rowBytes();
    bitmap.rows.reserve(static_cast<std::size_t>(kept * bitmap.height));
    for (int y = 0; y < bitmap.height; ++y) {
        const auto row = data.begin() + y * rowBytes;
        bitmap.rows.insert(bitmap.rows.end(), row, row + kept);
    }
    return bitmap;
}

Bitmap columnBitmap(std::string_view data, int columnBytes) {
    Bitmap bitmap;
    bitmap.width = columnBytes > 0 ? static_cast<int>(data.size()) / columnBytes : 0;
    bitmap.height = 8 * columnBytes;
    bitmap.rows.assign(static_cast<std::size_t>(bitmap.rowBytes() * bitmap.height), 0);
    for (int x = 0; x < bitmap.width; ++x)
        for (int y = 0; y < bitmap.height; ++y)
            if ((static_cast<std::uint8_t>(data[x * columnBytes + y / 8]) >> (7 - y % 8)) & 1)
                bitmap.rows[y * bitmap.rowBytes() + x / 8] |= std::uint8_t(0x80 >> (x % 8));
    return bitmap;
}

int heightDots(const Item& item) {
    return std::visit(Overloaded{
                          [](const PrintedLine& line) { return line.height; },
                          [](const Barcode& barcode) { return barcode.height; },
                          [](const ImageBlock& image) { return image.bitmap.printedHeight(); },
                          [](const Cut&) { return cutStripDots; },
                          [](const Event&) { return 0; },
                      },
                      item);
}

int Receipt::heightDots() const {
    int height = 0;
    for (const Item& item : items) height += vp::heightDots(item);
    return height;
}

std::vector<std::string> Receipt::events() const {
    std::vector<std::string> texts;
    for (const Item& item : items)
        std::visit(Overloaded{
                       [&](const Event& event) { texts.push_back(event.text); },
                       [](const PrintedLine&) {},
                       [](const Barcode&) {},
                       [](const ImageBlock&) {},
                       [](const Cut&) {},
                   },
                   item);
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
