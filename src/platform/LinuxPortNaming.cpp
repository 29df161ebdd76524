#include "platform/LinuxPortNaming.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <map>

namespace scalino {
namespace {

constexpr std::string_view kByIdPrefix = "/dev/serial/by-id/";
constexpr std::string_view kBlanks = " \t\r\n";

enum class PortKind { UsbSerial, UsbModem, Uart };

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
    });
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return std::string(text.substr(first, last - first + 1));
}

std::string_view property(const TtyDevice& tty, const std::string& key) {
    const auto it = tty.properties.find(key);
    return it == tty.properties.end() ? std::string_view{} : std::string_view{it->second};
}

// udev writes the blanks of ID_MODEL and ID_VENDOR as underscores.
std::string underscoresToBlanks(std::string_view text) {
    std::string result(text);
    std::replace(result.begin(), result.end(), '_', ' ');
    return result;
}

PortKind kindOf(const TtyDevice& tty) {
    if (tty.driver == "cdc_acm" || startsWith(tty.sysName, "ttyACM")) return PortKind::UsbModem;
    if (tty.parentSubsystem == "usb-serial" || tty.parentSubsystem == "usb" ||
        startsWith(tty.sysName, "ttyUSB"))
        return PortKind::UsbSerial;
    return PortKind::Uart;
}

std::string genericDescription(PortKind kind) {
    switch (kind) {
        case PortKind::UsbSerial: return "USB serial adapter";
        case PortKind::UsbModem: return "USB modem (ACM)";
        case PortKind::Uart: return "Serial port";
    }
    return "Serial port";
}

// The first usable name of the candidates, best first. A device without a string of its own
// gets its bare USB id (ID_MODEL_ID, ID_VENDOR_ID) as ID_MODEL or ID_VENDOR from udev, which
// would tell the user nothing.
std::string firstName(std::initializer_list<std::string> candidates, std::string_view bareId) {
    for (const auto& candidate : candidates) {
        std::string name = trimmed(candidate);
        if (!name.empty() && !(!bareId.empty() && equalsIgnoringCase(name, bareId))) return name;
    }
    return {};
}

// Compares by value where both names have a run of digits: negative, zero or positive.
int compareNatural(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Without leading zeros the longer run is the larger number, whatever its size.
            while (i + 1 < endA && a[i] == '0')
                ++i;
            while (j + 1 < endB && b[j] == '0')
                ++j;
            if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
            if (const int c = a.substr(i, endA - i).compare(b.substr(j, endB - j)); c != 0)
                return c;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    const std::size_t restA = a.size() - i, restB = b.size() - j;
    return restA == restB ? 0 : (restA < restB ? -1 : 1);
}

}  // namespace

bool isSerialPort(const TtyDevice& tty) {
    if (!tty.hasDevice || tty.devNode.empty()) return false;
    // The 8250 driver registers a tty for every legacy UART it may have (nr_uarts), found or
    // not; the ones not found report the type 0, "unknown".
    if (tty.portType == "0") return false;
    // Without a readable type, a tty of the legacy 8250 platform device is far more likely
    // one of those placeholders than a real UART (real ones sit on pnp, acpi or pci).
    if (tty.portType.empty() && tty.driver == "serial8250") return false;
    return true;
}

bool naturalLess(std::string_view a, std::string_view b) {
    const int c = compareNatural(a, b);
    return c != 0 ? c < 0 : a < b;
}

std::string decodeUdevString(std::string_view encoded) {
    std::string decoded;
    decoded.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x') {
            const int high = hexValue(encoded[i + 2]), low = hexValue(encoded[i + 3]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        decoded += encoded[i];
    }
    return decoded;
}

std::string portDescription(const TtyDevice& tty) {
    std::string name = firstName({std::string(property(tty, "ID_MODEL_FROM_DATABASE")),
                                  decodeUdevString(property(tty, "ID_MODEL_ENC")),
                                  underscoresToBlanks(property(tty, "ID_MODEL")), tty.usbProduct},
                                 property(tty, "ID_MODEL_ID"));
    return name.empty() ? genericDescription(kindOf(tty)) : name;
}

std::string portManufacturer(const TtyDevice& tty) {
    return firstName(
        {std::string(property(tty, "ID_VENDOR_FROM_DATABASE")),
         decodeUdevString(property(tty, "ID_VENDOR_ENC")),
         underscoresToBlanks(property(tty, "ID_VENDOR")), tty.usbManufacturer, tty.driver},
        property(tty, "ID_VENDOR_ID"));
}

std::string byIdLink(const TtyDevice& tty) {
    const std::string_view links = property(tty, "DEVLINKS");
    std::size_t start = 0;
    while ((start = links.find_first_not_of(kBlanks, start)) != std::string_view::npos) {
        const std::size_t end = std::min(links.find_first_of(kBlanks, start), links.size());
        const std::string_view link = links.substr(start, end - start);
        if (startsWith(link, kByIdPrefix) && link.size() > kByIdPrefix.size())
            return std::string(link);
        start = end;
    }
    return {};
}

std::vector<PortDriverInfo> serialPorts(const std::vector<TtyDevice>& ttys) {
    std::vector<const TtyDevice*> ports;
    for (const auto& tty : ttys)
        if (isSerialPort(tty)) ports.push_back(&tty);
    std::sort(ports.begin(), ports.end(), [](const TtyDevice* a, const TtyDevice* b) {
        return naturalLess(a->devNode, b->devNode);
    });

    std::map<std::string, int> claims;
    for (const auto* port : ports)
        ++claims[byIdLink(*port)];

    std::vector<PortDriverInfo> infos;
    infos.reserve(ports.size());
    for (const auto* port : ports) {
        std::string link = byIdLink(*port);
        if (claims[link] > 1) link.clear();
        infos.emplace_back(port->devNode, portManufacturer(*port), portDescription(*port),
                           std::move(link));
    }
    return infos;
}

void reportPorts(const std::vector<PortDriverInfo>& ports, PortListSink& sink) {
    for (const auto& port : ports)
        sink.addPortName(port.getPortName());
    for (const auto& port : ports)
        sink.addPortInfo(port);
}

}  // namespace scalino
