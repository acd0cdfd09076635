#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// What the decoder hands the renderer: paper already laid out in printer dots, so that the
// decoder's output can be checked byte by byte without drawing anything.
namespace vp {

// Thermal paper at 203 dpi: one dot is 0.125 mm.
struct Paper {
    int printableDots;  // dots the head can print across
    int marginDots;     // unprintable paper on each side of them

    static Paper millimetres80() { return {576, 32}; }
    static Paper millimetres58() { return {384, 40}; }
    int widthDots() const { return printableDots + 2 * marginDots; }
};

enum class Font : std::uint8_t { A, B };  // 12 × 24 and 9 × 17 dots
enum class Align : std::uint8_t { Left, Centre, Right };

struct CharStyle {
    Font font = Font::A;         // single-byte characters only
    bool emphasised = false;     // drawn twice, one dot apart
    std::uint8_t underline = 0;  // thickness in dots
    std::uint8_t widthScale = 1;
    std::uint8_t heightScale = 1;
    bool reverse = false;  // white on black
    // A quarter turn clockwise (ESC V), cell and all: the run's cells and scales are already
    // as they lie on paper, its glyphs are turned.
    bool turned = false;
    friend bool operator==(const CharStyle&, const CharStyle&) = default;
};

// Characters of one kind and style placed side by side, or a marker for bytes that printed
// nothing sensible.
struct Run {
    enum class Kind : std::uint8_t { Single, Double, Marker };
    // Provided, so that a run made in place takes only its members' initialisers, without
    // being cleared whole first.
    Run() {}
    Kind kind = Kind::Single;
    CharStyle style;
    // The characters; for a marker, its label. They lie beside the runs of the run's line,
    // in the block its line keeps (LineRuns): a run is read where its line is.
    std::u32string_view text;
    int x = 0;          // left edge, dots from the left of the printable area
    int pitch = 0;      // dots from one character to the next (markers: whole width)
    int leftGap = 0;    // spacing before each glyph inside its pitch
    int cellWidth = 0;  // one glyph before scaling
    int cellHeight = 0;
    std::string bytes{};  // for a marker, the bytes it stands for
    int width() const { return kind == Kind::Marker ? pitch : pitch * int(text.size()); }
    int height() const { return cellHeight * style.heightScale; }
    friend bool operator==(const Run&, const Run&) = default;
};

// The runs of a printed line. A printed line does not change, so the lines printed from one
// stream keep their runs and characters side by side in blocks they share (PendingRuns): a
// line then costs no allocation of its own, nor does a copy of it. A line keeps its block for
// as long as it lives.
class LineRuns {
public:
    LineRuns() = default;
    // Runs and characters in a block of their own, as a test writes a line.
    LineRuns(std::initializer_list<Run> runs);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Run* begin() const { return runs_.get(); }
    const Run* end() const { return runs_.get() + size_; }
    const Run& operator[](std::size_t i) const { return runs_[i]; }
    friend bool operator==(const LineRuns& a, const LineRuns& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    friend class PendingRuns;
    LineRuns(std::shared_ptr<const Run[]> runs, std::size_t size)
        : runs_(std::move(runs)), size_(size) {}
    std::shared_ptr<const Run[]> runs_;
    std::size_t size_ = 0;
};

// The runs of the line being laid out, made in place in the block where they stay once the
// line is printed, after the runs of the lines printed before it; their characters likewise.
class PendingRuns {
public:
    PendingRuns() = default;
    // One line is laid out in a block at a time: two copies would write the same runs.
    PendingRuns(const PendingRuns&) = delete;
    PendingRuns& operator=(const PendingRuns&) = delete;

    bool empty() const { return size_ == 0; }
    Run* begin() { return block_ ? block_->runs.get() + first_ : nullptr; }
    Run* end() { return begin() + size_; }
    Run& back() { return begin()[size_ - 1]; }
    // A new run after the others with a copy of `text`, its other members as Run() makes them.
    Run& emplace_back(std::u32string_view text) {
        if (!block_ || first_ + size_ == block_->runCount ||
            used_ + text.size() > block_->characterCount)
            moveToNewBlock(1, text.size());
        Run& run = begin()[size_++];
        run.text = {copy(text), text.size()};
        return run;
    }
    // A copy of `run` after the others, its characters copied beside theirs.
    void push_back(Run run) {
        Run& kept = emplace_back(run.text);
        run.text = kept.text;
        kept = std::move(run);
    }
    // More characters for the last run.
    void appendToBack(std::u32string_view text) {
        if (used_ + text.size() > block_->characterCount) moveToNewBlock(0, text.size());
        const std::u32string_view last = back().text;
        copy(text);
        back().text = {last.data(), last.size() + text.size()};
    }
    // The line printed: its runs stay as they are, and the next line's go after them.
    LineRuns print();
    // The line discarded.
    void clear() {
        if (size_ > 0) discard();
    }

private:
    struct Block {
        Block(std::size_t runs, std::size_t characters);
        std::unique_ptr<Run[]> runs;
        std::unique_ptr<char32_t[]> characters;
        std::size_t runCount, characterCount;
    };
    // Copies `text` after the characters in the block, where the last run's characters end.
    const char32_t* copy(std::u32string_view text) {
        char32_t* const at = block_->characters.get() + used_;
        // Most runs are a few characters: copied one by one, they cost less than a call.
        if (text.size() <= 16) {
            for (std::size_t i = 0; i < text.size(); ++i) at[i] = text[i];
        } else {
            std::char_traits<char32_t>::copy(at, text.data(), text.size());
        }
        used_ += text.size();
        return at;
    }
    void moveToNewBlock(std::size_t moreRuns, std::size_t moreCharacters);
    void discard();
    static constexpr std::size_t blockRuns = 256, blockCharacters = 4096;
    // Runs past first_ + size_ are always as Run() makes them.
    std::shared_ptr<Block> block_;
    std::size_t first_ = 0, size_ = 0;
    // The pending line's characters begin at lineCharacters_; used_ are taken.
    std::size_t lineCharacters_ = 0, used_ = 0;
};

// Dots as the printer receives them in raster form: `height` rows of `rowBytes()` bytes, the
// leftmost dot in a byte's high bit, 1 for black. The head prints each of them as
// `widthScale` × `heightScale` dots.
struct Bitmap {
    int width = 0, height = 0;
    std::uint8_t widthScale = 1, heightScale = 1;
    std::vector<std::uint8_t> rows;
    int rowBytes() const { return (width + 7) / 8; }
    bool black(int x, int y) const { return (rows[y * rowBytes() + x / 8] >> (7 - x % 8)) & 1; }
    int printedWidth() const { return width * widthScale; }
    int printedHeight() const { return height * heightScale; }
    friend bool operator==(const Bitmap&, const Bitmap&) = default;
};

// Raster data (GS v 0, GS ( L): `rowBytes` bytes a row, top row first. Dots right of `widest`
// are left out.
Bitmap rasterBitmap(std::string_view data, int rowBytes, int widest = 1 << 30);
// Column data (ESC *, GS *, FS q): `columnBytes` bytes a column from the top, the top dot in
// a byte's high bit, left column first.
Bitmap columnBitmap(std::string_view data, int columnBytes);

// A bit image placed inside a line, as ESC * does: it stands on the baseline like a glyph.
struct LineImage {
    int x = 0;  // dots from the left of the printable area
    Bitmap bitmap;
    friend bool operator==(const LineImage&, const LineImage&) = default;
};

// One printed line: runs and images standing on a common baseline `inkHeight` dots below the
// line's top, then paper up to `height` dots. A line without either is blank paper.
struct PrintedLine {
    LineRuns runs;
    int inkHeight = 0;
    int height = 0;
    std::vector<LineImage> images;
    Align align{};  // the alignment it was printed with
    // Printed turned half round (ESC {): the ink, `inkHeight` dots of the printable width,
    // upside down and right to left.
    bool upsideDown = false;
    bool blank() const { return runs.empty() && images.empty(); }
    friend bool operator==(const PrintedLine&, const PrintedLine&) = default;
};

// A picture printed as a block of its own (GS v 0): the paper advances by its height.
struct ImageBlock {
    int x = 0;  // dots from the left of the printable area
    Bitmap bitmap;
    // A 2-D symbol's kind ("QR Code", "PDF417", "DataMatrix") and the data stored for it;
    // both empty for a picture.
    std::string symbol{};
    std::string data{};
    friend bool operator==(const ImageBlock&, const ImageBlock&) = default;
};

enum class HriPosition : std::uint8_t { None, Above, Below, Both };

struct Barcode {
    std::string symbology;            // "CODE128", "EAN-13", ...
    std::string text;                 // the human-readable interpretation
    std::string data{};               // as the command carried it, selectors included
    std::vector<std::uint16_t> bars;  // widths in dots, bar first, then space, bar, ...
    int x = 0;                        // left edge of the first bar
    int quietLeft = 0, quietRight = 0;
    int barHeight = 0;
    HriPosition hri = HriPosition::None;
    Font hriFont = Font::A;
    int height = 0;  // paper taken, text included
    int barsWidth() const {
        int sum = 0;
        for (auto w : bars) sum += w;
        return sum;
    }
    friend bool operator==(const Barcode&, const Barcode&) = default;
};

// Shown as a dashed line across the paper, in a strip of this height.
inline constexpr int cutStripDots = 16;

struct Cut {
    bool partial = true;
    friend bool operator==(const Cut&, const Cut&) = default;
};

// Something that happened without (only) ink: a drawer pulse, a status request, an unknown
// command. Listed beside the picture.
struct Event {
    std::string text;
    std::string reply{};       // the bytes sent back, for an event that tells of a reply
    bool drawerPulse = false;  // a drawer kick pulse, told in `text`
    friend bool operator==(const Event&, const Event&) = default;
};

using Item = std::variant<PrintedLine, Barcode, ImageBlock, Cut, Event>;

// Lambdas joined into one visitor for std::visit. Visitors name every kind of item, so that a
// kind added later does not compile until each of them handles it.
template <class... Lambdas>
struct Overloaded : Lambdas... {
    using Lambdas::operator()...;
};

// Paper the item takes in the picture, in dots.
int heightDots(const Item& item);

// The paper between two cuts, with what happened while it printed.
struct Receipt {
    std::vector<Item> items;
    int heightDots() const;
    std::vector<std::string> events() const;
    bool empty() const { return items.empty(); }
};

// "1B 7A": bytes as hexadecimal pairs, at most `shown` of them, then "…" for the rest.
std::string hexBytes(std::string_view bytes, std::size_t shown = 64);

}  // namespace vp
