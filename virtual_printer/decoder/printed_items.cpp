#include "printed_items.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vp {

LineRuns::LineRuns(std::initializer_list<Run> runs) {
    PendingRuns line;
    for (const Run& run : runs) line.push_back(run);
    *this = line.print();
}

PendingRuns::Block::Block(std::size_t runs, std::size_t characters)
    : runs(std::make_unique<Run[]>(runs)),
      characters(std::make_unique_for_overwrite<char32_t[]>(characters)),
      runCount(runs),
      characterCount(characters) {}

// The block is full: the line moves to a new one, with room for `moreRuns` and
// `moreCharacters` after it, and the lines printed before it keep the old one.
void PendingRuns::moveToNewBlock(std::size_t moreRuns, std::size_t moreCharacters) {
    const std::size_t characters = used_ - lineCharacters_;
    auto block =
        std::make_shared<Block>(std::max(blockRuns, 2 * (size_ + moreRuns)),
                                std::max(blockCharacters, 2 * (characters + moreCharacters)));
    if (block_) {
        const char32_t* const from = block_->characters.get() + lineCharacters_;
        std::char_traits<char32_t>::copy(block->characters.get(), from, characters);
        for (std::size_t i = 0; i < size_; ++i) {
            Run& moved = block->runs[i];
            moved = std::move(begin()[i]);
            moved.text = {block->characters.get() + (moved.text.data() - from), moved.text.size()};
        }
    }
    block_ = std::move(block);
    first_ = 0;
    lineCharacters_ = 0;
    used_ = characters;
}

LineRuns PendingRuns::print() {
    if (size_ == 0) return {};
    // Shares the block's ownership and points at the line's runs in it.
    LineRuns line(std::shared_ptr<const Run[]>(block_, begin()), size_);
    first_ += size_;
    size_ = 0;
    lineCharacters_ = used_;
    return line;
}

void PendingRuns::discard() {
    std::fill(begin(), end(), Run());
    size_ = 0;
    used_ = lineCharacters_;
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
