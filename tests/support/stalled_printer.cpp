#include "stalled_printer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

StalledPrinter::StalledPrinter(std::string path) : path_(std::move(path)) {
    if (mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("cannot make " + path_);
    reader_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    filler_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (reader_ < 0 || filler_ < 0) throw std::runtime_error("cannot open " + path_);
    // Large writes first, then single bytes, until not one more fits.
    const std::string block(4096, '#');
    for (const std::size_t size : {block.size(), std::size_t(1)}) {
        for (ssize_t n; (n = write(filler_, block.data(), size)) > 0;)
            fillingLeft_ += static_cast<std::size_t>(n);
    }
}

StalledPrinter::~StalledPrinter() {
    close(filler_);
    close(reader_);
    unlink(path_.c_str());
}

std::string StalledPrinter::drain() {
    std::string arrived;
    char chunk[4096];
    for (ssize_t n; (n = read(reader_, chunk, sizeof chunk)) > 0;)
        arrived.append(chunk, static_cast<std::size_t>(n));
    const std::size_t filling = std::min(fillingLeft_, arrived.size());
    fillingLeft_ -= filling;
    return arrived.substr(filling);
}
