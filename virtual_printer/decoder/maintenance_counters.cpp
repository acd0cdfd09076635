#include "maintenance_counters.h"

#include <algorithm>

#include "head_metrics.h"

namespace vp {
namespace {

// The rows of a picture that hold a black dot: the head is energized for those only.
int inkedRows(const Bitmap& bitmap) {
    int rows = 0;
    const auto rowBytes = static_cast<std::size_t>(bitmap.rowBytes());
    for (int y = 0; y < bitmap.height; ++y) {
        const auto row = bitmap.rows.begin() + static_cast<std::ptrdiff_t>(y * rowBytes);
        rows += std::any_of(row, row + static_cast<std::ptrdiff_t>(rowBytes),
                            [](std::uint8_t byte) { return byte != 0; });
    }
    return rows * bitmap.heightScale;
}

int energizedRows(const Item& item) {
    return std::visit(Overloaded{
                          [](const PrintedLine& line) { return line.blank() ? 0 : line.inkHeight; },
                          [](const Barcode& barcode) {
                              const int sides = barcode.hri == HriPosition::Both   ? 2
                                                : barcode.hri == HriPosition::None ? 0
                                                                                   : 1;
                              return barcode.barHeight + sides * cellHeight(barcode.hriFont);
                          },
                          [](const ImageBlock& image) { return inkedRows(image.bitmap); },
                          [](const Cut&) { return 0; },
                          [](const Event&) { return 0; },
                      },
                      item);
}

}  // namespace

void MaintenanceCounters::count(const Item& item) {
    const bool cut = std::holds_alternative<Cut>(item);
    // The cut's strip in the picture is no paper fed.
    const auto fed = static_cast<std::uint64_t>(cut ? 0 : heightDots(item));
    const auto energized = static_cast<std::uint64_t>(energizedRows(item));
    for (Counts* counts : {&resettable_, &cumulative_}) {
        counts->fedDots += fed;
        counts->energized += energized;
        counts->cuts += cut ? 1 : 0;
    }
}

bool MaintenanceCounters::reset(int number, Clock::time_point now) {
    switch (number) {
        case 20:
            resettable_.fedDots = 0;
            return true;
        case 21:
            resettable_.energized = 0;
            return true;
        case 50:
            resettable_.cuts = 0;
            return true;
        case 70:
            resetAt_ = now;
            return true;
        default:
            return false;
    }
}

std::optional<std::uint64_t> MaintenanceCounters::value(int number, Clock::time_point now) const {
    // The cumulative counters are numbered 128 after their resettable ones.
    const Counts& counts = number >= 128 ? cumulative_ : resettable_;
    const auto hoursSince = [now](Clock::time_point from) {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::hours>(now - from).count());
    };
    switch (number) {
        case 20:
        case 148:
            return counts.fedDots / dotsPerLine;
        case 21:
        case 149:
            return counts.energized;
        case 50:
        case 178:
            return counts.cuts;
        case 70:
            return hoursSince(resetAt_);
        case 198:
            return hoursSince(started_);
        default:
            return std::nullopt;
    }
}

}  // namespace vp
