#include <gtest/gtest.h>

#include "port_error.h"
#include "port_name.h"
#include "temp_files.h"

namespace {

DevicePort device(const std::string& path, std::optional<SerialSettings> line = std::nullopt) {
    return {path, line};
}

SerialSettings line(unsigned baud, char parity = 'n', int data = 8, int stop = 1, char flow = 0) {
    return {baud, parity, data, stop, flow};
}

TEST(PortName, EachFormResolvesToItsDeviceOrAddress) {
    const std::pair<std::string, PortTarget> cases[] = {
        // DOS and USB port names, whole name only, any letter case.
        {"COM1", device("/dev/ttyS0")},
        {"com2", device("/dev/ttyS1")},
        {"CoM10", device("/dev/ttyS9")},
        {"LPT1", device("/dev/lp0")},
        {"lpt2", device("/dev/lp1")},
        {"USB001", device("/dev/usb/lp0")},
        {"usb002", device("/dev/usb/lp1")},
        {"USB1", device("/dev/usb/lp0")},
        {"COM1 ", device("COM1 ")},
        {" COM1", device(" COM1")},
        {"COM0", device("COM0")},
        {"COM01", device("COM01")},
        {"USB000", device("USB000")},
        {"COMX", device("COMX")},
        {"LPT1.txt", device("LPT1.txt")},
        {"选择端口", device("选择端口")},
        // Serial line settings.
        {"COM1:9600,n,8,1", device("/dev/ttyS0", line(9600))},
        {"/dev/ttyUSB0:115200", device("/dev/ttyUSB0", line(115200))},
        {"COM2:19200,e,7,2,p", device("/dev/ttyS1", line(19200, 'e', 7, 2, 'p'))},
        {"com1:4800,O,5,1,X", device("/dev/ttyS0", line(4800, 'o', 5, 1, 'x'))},
        {"COM1:9600,,7", device("/dev/ttyS0", line(9600, 'n', 7))},
        {"COM1:", device("/dev/ttyS0")},
        {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0",
         device("/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0")},
        // Network printers.
        {"tcp://192.168.1.87", NetworkPort{"192.168.1.87", 9100}},
        {"TCP://printer.local:9101", NetworkPort{"printer.local", 9101}},
        {"tcp://[fe80::1]:9100", NetworkPort{"fe80::1", 9100}},
        {"kitchen:9100", NetworkPort{"kitchen", 9100}},
        {"192.168.1.87", NetworkPort{"192.168.1.87", 9100}},
        {"192.168.1.87:9101", NetworkPort{"192.168.1.87", 9101}},
        {"[::1]:9100", NetworkPort{"::1", 9100}},
        {"IP_10.0.0.5", NetworkPort{"10.0.0.5", 9100}},
        {"ip_10.0.0.5", NetworkPort{"10.0.0.5", 9100}},
        // Anything else is a path, unchanged.
        {"printer.local", device("printer.local")},
        {"192.168.1", device("192.168.1")},
        {"IP_10.0.0", device("IP_10.0.0")},
        {"/tmp/receipt.txt", device("/tmp/receipt.txt")},
        {"", device("")},
    };
    for (const auto& [name, target] : cases) EXPECT_EQ(resolvePortName(name), target) << name;
}

TEST(PortName, AnExistingPathWithAColonIsThatPath) {
    TempDir dir;
    for (const std::string name : {"out:9100", "COM1:9600"}) {
        writeFile(dir.path(name), "");
        EXPECT_EQ(resolvePortName(dir.path(name)), PortTarget(device(dir.path(name)))) << name;
    }
    EXPECT_EQ(resolvePortName(dir.path("missing:9600")),
              PortTarget(device(dir.path("missing"), line(9600))));
}

// A bad value is named in the description, and nothing is opened for it.
TEST(PortName, MalformedSettingsAndPortsNameTheBadValue) {
    const std::pair<std::string, std::string> cases[] = {
        {"COM1:12345", "\"12345\""},        {"COM1:9600,q", "\"q\""},
        {"COM1:9600,n,9", "\"9\""},         {"COM1:9600,n,8,3", "\"3\""},
        {"COM1:9600,n,8,1,z", "\"z\""},     {"COM1:9600,n,8,1,x,1", "\"1\""},
        {"COM1:fast", "\"fast\""},          {"/dev/ttyUSB0:abc", "\"abc\""},
        {"printer:99999", "\"99999\""},     {"tcp://printer:0", "\"0\""},
        {"tcp://", "\"tcp://\""},           {"tcp://bad host", "\"tcp://bad host\""},
        {"IP_10.0.0.5:70000", "\"70000\""}, {"[::1]:65536", "\"65536\""},
    };
    for (const auto& [name, named] : cases) {
        try {
            resolvePortName(name);
            ADD_FAILURE() << name << " was taken";
        } catch (const PortError& failure) {
            EXPECT_NE(std::string(failure.what()).find(named), std::string::npos)
                << name << ": " << failure.what();
        }
    }
}

TEST(PortName, AddressesReadAsTheTechnicianWritesThem) {
    EXPECT_EQ(shownAddress({"10.0.0.5", 9100}), "10.0.0.5:9100");
    EXPECT_EQ(shownAddress({"::1", 9100}), "[::1]:9100");
    EXPECT_EQ(shownAddress({"printer.local", 9101}), "printer.local:9101");
}

}  // namespace
