#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "port_scan.h"
#include "temp_files.h"

// Found ports in failure messages as text, not bytes.
void PrintTo(const FoundPort& port, std::ostream* out) {
    *out << port.path << " [" << port.maker << "|" << port.product << "]";
}

namespace {

namespace fs = std::filesystem;

// A device folder and a sysfs laid out as the kernel lays them out: class entries are links
// into the device tree, and each class device's `device` link points at the interface (usblp,
// cdc-acm) or at the usb-serial port below the interface (ttyUSB).
class FakeMachine {
public:
    FakeMachine() {
        for (const char* node :
             {"usb/lp0", "ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM1", "ttyACM0", "rfcomm0", "lp0",
              "ttyS0", "ttyS1", "ttyS2", "tty0", "loop0", "lp0p1", "ttyUSB", "console"}) {
            addNode(node);
        }
        const std::string hub = "devices/pci0000:00/0000:00:14.0/usb1";
        usbDevice(hub, "Linux 6.1.0 xhci-hcd\n", "xHCI Host Controller\n");
        usbDevice(hub + "/1-1", "EPSON\n", "TM-T20II  \n");
        usbDevice(hub + "/1-2", "Prolific Technology Inc. \n", "USB-Serial Controller\n");
        usbDevice(hub + "/1-3", "Xprinter\n", "XP-58\n");
        usbDevice(hub + "/1-4", "", "");  // reports no names: they must not come from the hub
        usbDevice(hub + "/1-5", "FTDI\n", "FT232R USB UART\n");

        classDevice("usbmisc/lp0", hub + "/1-1/1-1:1.0/usbmisc/lp0", "../../../1-1:1.0");
        classDevice("tty/ttyUSB0", hub + "/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0", "../../../ttyUSB0");
        classDevice("tty/ttyUSB10", hub + "/1-5/1-5:1.0/ttyUSB10/tty/ttyUSB10",
                    "../../../ttyUSB10");
        classDevice("tty/ttyACM0", hub + "/1-3/1-3:1.0/tty/ttyACM0", "../../../1-3:1.0");
        classDevice("tty/ttyACM1", hub + "/1-4/1-4:1.0/tty/ttyACM1", "../../../1-4:1.0");
        classDevice("tty/ttyS0", "devices/pnp0/00:00/tty/ttyS0", "");
        classDevice("tty/ttyS1", "devices/platform/serial8250/tty/ttyS1", "");
        writeFile(sys("devices/pnp0/00:00/tty/ttyS0/type"), "4\n");
        writeFile(sys("devices/platform/serial8250/tty/ttyS1/type"), "0\n");
    }

    ScanRoots roots() const { return {dir_.path("dev"), dir_.path("sys")}; }
    std::string dev(const std::string& name) const { return dir_.path("dev/" + name); }
    std::string sys(const std::string& name) const { return dir_.path("sys/" + name); }

private:
    void addNode(const std::string& name) {
        fs::create_directories(fs::path(dev(name)).parent_path());
        writeFile(dev(name), "");
    }
    void usbDevice(const std::string& path, const std::string& maker, const std::string& product) {
        fs::create_directories(sys(path));
        writeFile(sys(path + "/idVendor"), "04b8\n");
        if (!maker.empty()) writeFile(sys(path + "/manufacturer"), maker);
        if (!product.empty()) writeFile(sys(path + "/product"), product);
    }
    // /sys/class/<name> -> the device's folder, and its `device` link when there is one.
    void classDevice(const std::string& name, const std::string& path, const std::string& device) {
        fs::create_directories(sys(path));
        fs::create_directories(fs::path(sys("class/" + name)).parent_path());
        fs::create_directory_symlink("../../" + path, sys("class/" + name));
        if (!device.empty()) fs::create_directory_symlink(device, sys(path + "/device"));
    }

    TempDir dir_;
};

TEST(PortScan, ListsEachKindInOrderByNumberWithTheUsbDevicesNames) {
    const FakeMachine machine;
    const std::vector<FoundPort> expected = {
        {machine.dev("usb/lp0"), "EPSON", "TM-T20II"},
        {machine.dev("ttyUSB0"), "Prolific Technology Inc.", "USB-Serial Controller"},
        {machine.dev("ttyUSB2"), "", ""},  // no sysfs entry
        {machine.dev("ttyUSB10"), "FTDI", "FT232R USB UART"},
        {machine.dev("ttyACM0"), "Xprinter", "XP-58"},
        {machine.dev("ttyACM1"), "", ""},
        {machine.dev("rfcomm0"), "", ""},
        {machine.dev("lp0"), "", ""},
        {machine.dev("ttyS0"), "", ""},  // ttyS1 has type 0, ttyS2 no sysfs entry
    };
    EXPECT_EQ(scanPrinterPorts(machine.roots()), expected);
}

TEST(PortScan, MissingRootsGiveWhatTheOtherRootAllows) {
    const FakeMachine machine;
    EXPECT_TRUE(scanPrinterPorts({machine.dev("nowhere"), machine.roots().sys}).empty());

    // Without sysfs the devices are still listed, without names, and no ttyS is taken as real.
    const std::vector<FoundPort> found = scanPrinterPorts({machine.roots().dev, "/nowhere/sys"});
    ASSERT_EQ(found.size(), 8u);
    EXPECT_EQ(found.front(), (FoundPort{machine.dev("usb/lp0"), "", ""}));
    EXPECT_EQ(found.back().path, machine.dev("lp0"));
}

}  // namespace
