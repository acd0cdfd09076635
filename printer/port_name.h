#pragma once

#include <optional>
#include <string>
#include <variant>

// Line settings for a serial port, as written after the port's name: speed, parity ('n', 'e',
// 'o'), data bits, stop bits and flow control ('x' XON/XOFF, 'p' RTS/CTS, 0 none).
struct SerialSettings {
    unsigned baud = 0;
    char parity = 'n';
    int dataBits = 8;
    int stopBits = 1;
    char flow = 0;

    bool operator==(const SerialSettings&) const = default;
};

// A device or file to open, with the line settings to put on it while the job runs.
struct DevicePort {
    std::string path;
    std::optional<SerialSettings> line;

    bool operator==(const DevicePort&) const = default;
};

// A printer on the network, reached over raw TCP.
struct NetworkPort {
    std::string host;  // a name or an address, without brackets
    unsigned port = 9100;

    bool operator==(const NetworkPort&) const = default;
};

using PortTarget = std::variant<DevicePort, NetworkPort>;

// The raw-TCP port of network receipt printers.
inline constexpr unsigned defaultPrinterPort = 9100;

// What a port name denotes. The first rule that matches the whole name wins (letters in any
// case):
//  1. COMn, LPTn and USBnnn: /dev/ttyS(n-1), /dev/lp(n-1), /dev/usb/lp(n-1);
//  2. NAME:BAUD[,PARITY[,DATA[,STOP[,FLOW]]]] where NAME is one of those or a path with a slash
//     in it, unless the whole name is an existing path;
//  3. tcp://HOST[:PORT], HOST:PORT, [IPv6]:PORT, a dotted IPv4 address and IP_a.b.c.d, the port
//     9100 unless given;
//  4. anything else: the name as a path, unchanged.
// Throws PortError naming the bad value when line settings or a network port are malformed or a
// speed is not one the system can set.
PortTarget resolvePortName(const std::string& name);

// "10.0.0.5:9100", "[::1]:9100": the address as the technician reads it.
std::string shownAddress(const NetworkPort& port);

// The termios speed constant for a baud rate, or 0 when the system has none for it.
unsigned speedConstant(unsigned baud);
