#include "rs232/PortList.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "rs232/SerialExceptions.h"
#include "util/ProcessProperties.h"
#include "util/Text.h"

namespace scalino {
namespace {

// The value without leading and trailing blanks and control characters.
std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

void printNoDiscovery(std::FILE* out) {
    std::fprintf(out,
                 "getPortList: port discovery not currently supported on this platform.\n"
                 "Options:\n"
                 "A) addPortName can be used to build a list of device names \n"
                 "B) the SERIAL_PORT_LIST property can name the ports, separated by ';' "
                 "(example: COM1;COM2;COM3)\n"
                 "   or by ':' (example: /dev/ttyS0:/dev/ttyS1)\n");
}

}  // namespace

std::vector<std::string> PortList::getPortList(NativeDriver* driver, const PlatformInfo& platform,
                                               std::FILE* out) {
    if (auto value = ProcessProperties::get("SERIAL_PORT_LIST");
        value && trimmed(*value).size() > 4) {
        addFromProperty(*value);
        return portList();
    }
    if (platform.flags.supGetPortList && driver != nullptr) {
        {
            std::lock_guard lock(mutex_);
            portList_.clear();
        }
        driver->serGetPortList(*this);
        const auto found = portList();
        return platform.osFamilyWindows ? sortWindowsNames(found) : found;
    }
    const auto names = portList();
    if (!names.empty()) {
        std::fprintf(out, "getPortList: using list created with addPortName\n");
    } else {
        printNoDiscovery(out);
    }
    std::fflush(out);
    return names;
}

void PortList::addFromProperty(const std::string& value) {
    std::lock_guard lock(mutex_);
    size_t start = 0;
    while (start <= value.size()) {
        const size_t end = std::min(value.find_first_of(";:", start), value.size());
        const std::string token = value.substr(start, end - start);
        if (!token.empty() &&
            std::find(portList_.begin(), portList_.end(), token) == portList_.end())
            portList_.push_back(token);
        start = end + 1;
    }
}

void PortList::addPortName(const std::string& name) {
    std::lock_guard lock(mutex_);
    const bool known =
        std::any_of(portList_.begin(), portList_.end(),
                    [&](const std::string& entry) { return equalsIgnoringCase(entry, name); });
    if (!known) portList_.push_back(name);
}

void PortList::addPortInfo(const PortDriverInfo& info) {
    std::lock_guard lock(mutex_);
    const bool known =
        std::any_of(portListInfo_.begin(), portListInfo_.end(), [&](const PortDriverInfo& entry) {
            return equalsIgnoringCase(entry.getPortName(), info.getPortName());
        });
    if (!known) portListInfo_.push_back(info);
}

void PortList::clearPortListInfo() {
    std::lock_guard lock(mutex_);
    portListInfo_.clear();
}

std::vector<PortDriverInfo> PortList::getDriverInfoList(const PlatformInfo& platform) const {
    if (!platform.flags.supDriverInfo) throw SerialPortException("Not supported on this platform");
    std::lock_guard lock(mutex_);
    if (portList_.empty())
        throw SerialPortException("Must call SerialPortLocal.getPortList method first");
    return portListInfo_;
}

std::vector<std::string> PortList::portList() const {
    std::lock_guard lock(mutex_);
    return portList_;
}

int PortList::getPortListMode() const {
    std::lock_guard lock(mutex_);
    return portListMode_;
}

void PortList::setPortListMode(int mode) {
    std::lock_guard lock(mutex_);
    portListMode_ = mode;
}

std::vector<std::string> PortList::sortWindowsNames(const std::vector<std::string>& names) {
    std::vector<long long> numbers;
    std::vector<std::string> others;
    for (const std::string& name : names) {
        if (name.size() < 3 || name.compare(0, 3, "COM") != 0) {
            others.push_back(name);
            continue;
        }
        const std::string_view digits = std::string_view(name).substr(3);
        long long number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        const bool allDigits =
            !digits.empty() && error == std::errc() && end == digits.data() + digits.size() &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (allDigits) numbers.push_back(number);
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<std::string> sorted;
    for (long long number : numbers)
        sorted.push_back("COM" + std::to_string(number));
    sorted.insert(sorted.end(), others.begin(), others.end());
    return sorted;
}

}  // namespace scalino
