#include "dot_surface.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace vp::dots {
namespace {

// The bits of byte `index` that lie in [from, to), counted from the left.
unsigned spanMask(int from, int to, int index) {
    const int low = std::max(from - index * 8, 0), high = std::min(to - index * 8, 8);
    return (0xFFu >> low) & (0xFFu << (8 - high)) & 0xFFu;
}

// Bits [bit, bit + 8) of a row of `size` bytes; bits outside it are white.
unsigned eightBits(const std::uint8_t* row, int size, int bit) {
    if (bit <= -8 || size <= 0) return 0;
    if (bit < 0) return unsigned(row[0]) >> -bit;
    const int index = bit >> 3, shift = bit & 7;
    if (index >= size) return 0;
    unsigned value = unsigned(row[index]) << shift;
    if (shift != 0 && index + 1 < size) value |= unsigned(row[index + 1]) >> (8 - shift);
    return value & 0xFFu;
}

bool blackAt(const std::uint8_t* row, int x) {
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

void setAt(std::uint8_t* row, int x, bool black) {
    const auto bit = std::uint8_t(0x80u >> (x & 7));
    row[x >> 3] = black ? row[x >> 3] | bit : row[x >> 3] & ~bit;
}

}  // namespace

void fill(const Surface& surface, int x, int y, int width, int height, bool black) {
    const int left = std::max(x, 0), right = std::min(x + width, surface.width);
    const int top = std::max(y, 0), bottom = std::min(y + height, surface.height);
    if (left >= right || top >= bottom) return;
    const int first = left >> 3, last = (right - 1) >> 3;
    for (int row = top; row < bottom; ++row) {
        std::uint8_t* bytes = surface.row(row);
        for (int index : {first, last}) {
            const unsigned mask = spanMask(left, right, index);
            bytes[index] = std::uint8_t(black ? bytes[index] | mask : bytes[index] & ~mask);
        }
        if (last > first + 1) std::memset(bytes + first + 1, black ? 0xFF : 0, last - first - 1);
    }
}

namespace {

// One strip of up to 56 dots of every row of `dots`, from dot `from` on: shifted into place it
// spans at most eight bytes of the surface.
template <Ink ink>
void paintStrip(const Surface& surface, int x, int y, const Bitmap& dots, int repeat, int from,
                int count) {
    const int size = dots.rowBytes(), at = x + from;
    const int shift = at & 7, bytes = (shift + count + 7) / 8;
    const int first = from >> 3, available = std::min(8, size - first);
    const std::uint64_t mask = (~std::uint64_t(0) << (64 - count)) >> shift;
    const bool whole = (at >> 3) + 8 <= surface.stride;
    for (int sourceRow = 0; sourceRow < dots.height; ++sourceRow) {
        const int top = y + sourceRow * repeat;
        if (top >= surface.height) break;
        if (top + repeat <= 0) continue;
        const std::uint8_t* source = dots.rows.data() + sourceRow * size;
        std::uint64_t value = 0;
        if ((from & 7) == 0) {
            for (int i = 0; i < available; ++i)
                value |= std::uint64_t(source[first + i]) << (56 - 8 * i);
        } else {
            for (int i = 0; i < 8; ++i) value = value << 8 | eightBits(source, size, from + 8 * i);
        }
        value = (value >> shift) & mask;
        for (int row = std::max(top, 0); row < std::min(top + repeat, surface.height); ++row) {
            std::uint8_t* target = surface.row(row) + (at >> 3);
            auto apply = [&](std::uint64_t old, std::uint64_t part, std::uint64_t partMask) {
                return ink == Ink::Black   ? old | part
                       : ink == Ink::White ? old & ~part
                                           : (old & ~partMask) | part;
            };
            if (whole) {
                // Eight bytes at once, the leftmost in the word's high byte.
                std::uint64_t word;
                std::memcpy(&word, target, 8);
                word = __builtin_bswap64(apply(__builtin_bswap64(word), value, mask));
                std::memcpy(target, &word, 8);
                continue;
            }
            for (int i = 0; i < bytes; ++i)
                target[i] = std::uint8_t(apply(target[i], (value >> (56 - 8 * i)) & 0xFF,
                                               (mask >> (56 - 8 * i)) & 0xFF));
        }
    }
}

}  // namespace

void paint(const Surface& surface, int x, int y, const Bitmap& dots, int repeat, Ink ink,
           int clipLeft, int clipRight) {
    const int left = std::max({x, clipLeft, 0});
    const int right = std::min({x + dots.width, clipRight, surface.width});
    if (left >= right || repeat <= 0) return;
    for (int from = left - x; from < right - x; from += 56) {
        const int count = std::min(56, right - x - from);
        if (ink == Ink::Black) paintStrip<Ink::Black>(surface, x, y, dots, repeat, from, count);
        if (ink == Ink::White) paintStrip<Ink::White>(surface, x, y, dots, repeat, from, count);
        if (ink == Ink::Opaque) paintStrip<Ink::Opaque>(surface, x, y, dots, repeat, from, count);
    }
}

Bitmap widened(const Bitmap& dots, int scale) {
    if (scale == 1) return dots;
    Bitmap wide;
    wide.width = dots.width * scale;
    wide.height = dots.height;
    wide.rows.assign(std::size_t(wide.rowBytes()) * std::size_t(wide.height), 0);
    for (int y = 0; y < dots.height; ++y) {
        const std::uint8_t* from = dots.rows.data() + y * dots.rowBytes();
        std::uint8_t* to = wide.rows.data() + y * wide.rowBytes();
        for (int x = 0; x < dots.width; ++x)
            if (blackAt(from, x))
                for (int i = 0; i < scale; ++i) setAt(to, x * scale + i, true);
    }
    return wide;
}

Bitmap turnedClockwise(const Bitmap& dots) {
    Bitmap turned;
    turned.width = dots.height;
    turned.height = dots.width;
    turned.rows.assign(std::size_t(turned.rowBytes()) * std::size_t(turned.height), 0);
    for (int y = 0; y < turned.height; ++y)
        for (int x = 0; x < turned.width; ++x)
            if (dots.black(y, dots.height - 1 - x))
                setAt(turned.rows.data() + y * turned.rowBytes(), x, true);
    return turned;
}

void upend(const Surface& surface, int left, int top, int width, int height) {
    left = std::max(left, 0);
    width = std::min(width, surface.width - left);
    top = std::max(top, 0);
    height = std::min(height, surface.height - top);
    if (width <= 0 || height <= 0) return;
    std::vector<std::uint8_t> band(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            band[std::size_t(y) * std::size_t(width) + std::size_t(x)] =
                blackAt(surface.row(top + y), left + x);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            setAt(surface.row(top + height - 1 - y), left + width - 1 - x,
                  band[std::size_t(y) * std::size_t(width) + std::size_t(x)] != 0);
}

namespace {

// Deflate with the fixed codes and two kinds of match only: a run of one byte, and the row
// above. Blank paper is runs, bars and symbols are rows repeated; looking for nothing else
// makes it several times faster than zlib's fastest level, at about its size.
constexpr int lengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int lengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int distanceBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int distanceExtra[] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class FixedCodes {
public:
    static const FixedCodes& get() {
        static const FixedCodes codes;
        return codes;
    }
    struct Code {
        std::uint32_t bits;  // reversed, ready to go out lowest bit first
        int length;
    };
    Code symbol[288];
    Code length[259];  // a match's length code with its extra bits, from 3 on
    // A distance's code with its extra bits.
    Code distance(int value) const;

private:
    static std::uint32_t reversed(std::uint32_t code, int length) {
        std::uint32_t out = 0;
        for (int i = 0; i < length; ++i) out |= ((code >> i) & 1u) << (length - 1 - i);
        return out;
    }
    FixedCodes() {
        for (int s = 0; s < 288; ++s) {
            const auto [code, length] = s < 144   ? std::pair(0x30 + s, 8)
                                        : s < 256 ? std::pair(0x190 + s - 144, 9)
                                        : s < 280 ? std::pair(s - 256, 7)
                                                  : std::pair(0xC0 + s - 280, 8);
            symbol[s] = {reversed(std::uint32_t(code), length), length};
        }
        for (int l = 0, value = 3; value <= 258; ++value) {
            while (l < 28 && lengthBase[l + 1] <= value) ++l;
            const Code& code = symbol[257 + l];
            length[value] = {code.bits | std::uint32_t(value - lengthBase[l]) << code.length,
                             code.length + lengthExtra[l]};
        }
    }
};

FixedCodes::Code FixedCodes::distance(int value) const {
    int d = 29;
    while (distanceBase[d] > value) --d;
    return {reversed(std::uint32_t(d), 5) | std::uint32_t(value - distanceBase[d]) << 5,
            5 + distanceExtra[d]};
}

// Bits into room made beforehand, lowest first, as deflate orders them.
class BitWriter {
public:
    explicit BitWriter(char* out) : out_(out) {}
    void put(std::uint32_t value, int count) {
        pending_ |= std::uint64_t(value) << count_;
        count_ += count;
        if (count_ >= 32) {
            const auto four = std::uint32_t(pending_);
            for (int i = 0; i < 4; ++i) out_[i] = char((four >> (8 * i)) & 0xFF);
            out_ += 4;
            pending_ >>= 32;
            count_ -= 32;
        }
    }
    // Where the bytes end, the last one filled up with zero bits.
    char* finish() {
        for (; count_ > 0; count_ -= 8, pending_ >>= 8) *out_++ = char(pending_ & 0xFF);
        count_ = 0;
        return out_;
    }

private:
    char* out_;
    std::uint64_t pending_ = 0;
    int count_ = 0;
};

// How many bytes from `at` on, up to `longest`, repeat those from `earlier` on (which may
// overlap them, as a run does).
std::size_t matching(const std::uint8_t* at, const std::uint8_t* earlier, std::size_t longest) {
    std::size_t same = 0;
    for (std::uint64_t a, b; same + 8 <= longest; same += 8) {
        std::memcpy(&a, at + same, 8);
        std::memcpy(&b, earlier + same, 8);
        if (a != b) break;
    }
    while (same < longest && at[same] == earlier[same]) ++same;
    return same;
}

// `data`, rows of `rowLength` bytes, as a zlib stream in `packed`.
void zlibPacked(const std::string& data, int rowLength, std::string& packed) {
    const FixedCodes& codes = FixedCodes::get();
    // At most nine bits a byte, the header, the end of the block and the check around them.
    packed.resize(data.size() + data.size() / 8 + 16);
    packed[0] = '\x78';
    packed[1] = '\x01';
    BitWriter out(packed.data() + 2);
    const FixedCodes::Code nextByte = codes.distance(1), rowAbove = codes.distance(rowLength);
    out.put(0b011, 3);  // the last block, fixed codes
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    const std::size_t size = data.size();
    std::size_t at = 0;
    const auto row = std::size_t(rowLength);
    while (at < size) {
        // Most bytes of printed rows match neither neighbour: they go out at once.
        const std::uint8_t next = bytes[at];
        if (at > 0 && next != bytes[at - 1] && (at < row || next != bytes[at - row])) {
            out.put(codes.symbol[next].bits, codes.symbol[next].length);
            ++at;
            continue;
        }
        const std::size_t longest = std::min<std::size_t>(258, size - at);
        const std::size_t run = at > 0 ? matching(bytes + at, bytes + at - 1, longest) : 0;
        const std::size_t above =
            run < longest && at >= row ? matching(bytes + at, bytes + at - row, longest) : 0;
        if (std::max(run, above) >= 3) {
            const bool fromAbove = above > run;
            const std::size_t length = fromAbove ? above : run;
            const FixedCodes::Code& match = codes.length[length];
            out.put(match.bits, match.length);
            const FixedCodes::Code& distance = fromAbove ? rowAbove : nextByte;
            out.put(distance.bits, distance.length);
            at += length;
        } else {
            out.put(codes.symbol[bytes[at]].bits, codes.symbol[bytes[at]].length);
            ++at;
        }
    }
    out.put(codes.symbol[256].bits, codes.symbol[256].length);
    packed.resize(std::size_t(out.finish() - packed.data()));
    const uLong check = adler32(adler32(0, nullptr, 0), bytes, uInt(size));
    for (int shift = 24; shift >= 0; shift -= 8) packed += char((check >> shift) & 0xFF);
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
    auto big = [&](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) png += char((value >> shift) & 0xFF);
    };
    big(std::uint32_t(data.size()));
    const std::size_t start = png.size();
    png.append(type, 4);
    png += data;
    big(std::uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(png.data() + start), uInt(png.size() - start))));
}

}  // namespace

bool writePng(const Surface& surface, const std::string& path) {
    const int rowBytes = (surface.width + 7) / 8;
    // Kept from one picture to the next: fresh pages for each would cost more than packing.
    thread_local std::string raw, packed, png;
    // Each row after its filter byte (none), with the bits past the right edge white.
    raw.assign(std::size_t(rowBytes + 1) * std::size_t(surface.height), '\0');
    const auto lastMask = std::uint8_t(spanMask(0, surface.width, rowBytes - 1));
    for (int y = 0; y < surface.height; ++y) {
        char* to = raw.data() + std::size_t(y) * std::size_t(rowBytes + 1) + 1;
        std::memcpy(to, surface.row(y), std::size_t(rowBytes));
        to[rowBytes - 1] = char(std::uint8_t(to[rowBytes - 1]) & lastMask);
    }
    zlibPacked(raw, rowBytes + 1, packed);
    png.assign("\x89PNG\r\n\x1A\n", 8);
    std::string header;
    for (std::uint32_t value : {std::uint32_t(surface.width), std::uint32_t(surface.height)})
        for (int shift = 24; shift >= 0; shift -= 8) header += char((value >> shift) & 0xFF);
    header += std::string("\x01\x03\x00\x00\x00", 5);  // 1 bit, palette, no interlacing
    appendChunk(png, "IHDR", header);
    appendChunk(png, "PLTE", std::string("\xFF\xFF\xFF\x00\x00\x00", 6));
    appendChunk(png, "IDAT", packed);
    appendChunk(png, "IEND", {});
    // A file emptied on opening is flushed to disk when closed (ext4 does so to keep its old
    // contents from being lost): one written over and cut to length afterwards is not.
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) return false;
    std::size_t written = 0;
    while (written < png.size()) {
        const ssize_t n = ::write(file, png.data() + written, png.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += std::size_t(n);
    }
    const bool whole = written == png.size() && ::ftruncate(file, off_t(png.size())) == 0;
    return ::close(file) == 0 && whole;
}

}  // namespace vp::dots
