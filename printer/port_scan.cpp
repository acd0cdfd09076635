#include "port_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace {

// The kinds of printer port, in the order the list shows them. `folder` is where under the
// device root the kind's nodes are; `sysClass` is the sysfs class that names a USB device's
// maker and product ("" for kinds that are not USB).
struct Kind {
    std::string_view folder;
    std::string_view prefix;
    std::string_view sysClass;
};

constexpr std::array<Kind, 6> kinds{{
    {"/usb", "lp", "usbmisc"},
    {"", "ttyUSB", "tty"},
    {"", "ttyACM", "tty"},
    {"", "rfcomm", ""},
    {"", "lp", ""},
    {"", "ttyS", ""},
}};
constexpr std::size_t serialKind = 5;

struct Entry {
    std::size_t kind;
    unsigned long number;
    std::string name;
};

// The number after `prefix` when the whole name is the prefix and digits, so that "lp0p1" or
// "ttyS" alone are not taken for ports.
bool portNumber(std::string_view name, std::string_view prefix, unsigned long& number) {
    if (!name.starts_with(prefix)) return false;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(name.data() + prefix.size(), last, number);
    return error == std::errc() && end == last;
}

// The names in one folder that match one of the kinds kept in it.
void collect(const std::string& devRoot, std::string_view folder, std::vector<Entry>& entries) {
    DIR* dir = opendir((devRoot + std::string(folder)).c_str());
    if (dir == nullptr) return;
    while (const dirent* item = readdir(dir)) {
        const std::string_view name = item->d_name;
        for (std::size_t kind = 0; kind < kinds.size(); ++kind) {
            unsigned long number = 0;
            if (kinds[kind].folder == folder && portNumber(name, kinds[kind].prefix, number)) {
                entries.push_back({kind, number, std::string(name)});
                break;
            }
        }
    }
    closedir(dir);
}

// A sysfs attribute's text without the line end and padding around it; false when the folder
// has no such attribute.
bool readAttribute(int folder, const char* name, std::string& text) {
    const int fd = openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[256];
    const ssize_t size = read(fd, buffer, sizeof buffer);
    close(fd);
    std::string_view value(buffer, size > 0 ? static_cast<std::size_t>(size) : 0);
    const auto first = value.find_first_not_of(" \t\r\n");
    value = first == std::string_view::npos ? std::string_view() : value.substr(first);
    value = value.substr(0, value.find_last_not_of(" \t\r\n") + 1);
    text = value;
    return true;
}

// The maker's and product's names of the USB device behind a class device's `device` link.
// The link points at the interface (usblp, cdc-acm) or at the usb-serial port below the
// interface (ttyUSB); the USB device is the first folder up that holds its descriptor's
// attributes. Stopping there keeps a device that reports no names from borrowing its hub's.
void readUsbNames(const std::string& deviceLink, FoundPort& port) {
    constexpr int levels = 3;  // port, interface, device
    int folder = open(deviceLink.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; folder >= 0 && level < levels; ++level) {
        const bool maker = readAttribute(folder, "manufacturer", port.maker);
        const bool product = readAttribute(folder, "product", port.product);
        if (maker || product || faccessat(folder, "idVendor", F_OK, 0) == 0) break;
        // ".." of the opened folder is its real parent, not the parent of the link's text.
        const int parent = openat(folder, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(folder);
        folder = parent;
    }
    if (folder >= 0) close(folder);
}

// The 8250 driver makes its ttyS nodes whether or not a UART answers; sysfs gives type 0
// (unknown) for those that have none.
bool hasUart(const std::string& sysRoot, const std::string& name) {
    const int folder =
        open((sysRoot + "/class/tty/" + name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    std::string type;
    const bool known = readAttribute(folder, "type", type);
    close(folder);
    unsigned long number = 0;
    return known && portNumber(type, "", number) && number != 0;
}

}  // namespace

std::string FoundPort::names() const {
    return maker.empty() || product.empty() ? maker + product : maker + ' ' + product;
}

std::vector<FoundPort> scanPrinterPorts(const ScanRoots& roots) {
    std::vector<Entry> entries;
    collect(roots.dev, "/usb", entries);
    collect(roots.dev, "", entries);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.kind != b.kind) return a.kind < b.kind;
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    });

    std::vector<FoundPort> found;
    for (const Entry& entry : entries) {
        const Kind& kind = kinds[entry.kind];
        if (entry.kind == serialKind && !hasUart(roots.sys, entry.name)) continue;
        FoundPort port{roots.dev + std::string(kind.folder) + "/" + entry.name, "", ""};
        if (!kind.sysClass.empty()) {
            readUsbNames(
                roots.sys + "/class/" + std::string(kind.sysClass) + "/" + entry.name + "/device",
                port);
        }
        found.push_back(std::move(port));
    }
    return found;
}
