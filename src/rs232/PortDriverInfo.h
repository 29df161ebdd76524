#pragma once

#include <string>

namespace scalino {

// What the driver knows of one port: its plain name, the driver's manufacturer and device
// description, and where it exists a name that stays the same when the adapter is plugged
// into another socket (/dev/serial/by-id/...).
class PortDriverInfo {
public:
    PortDriverInfo(std::string name, std::string manufacture, std::string description,
                   std::string stableName = {})
        : name_(std::move(name)),
          manufacture_(std::move(manufacture)),
          description_(std::move(description)),
          stableName_(std::move(stableName)) {}

    const std::string& getPortName() const { return name_; }
    const std::string& getDriverMfgr() const { return manufacture_; }
    const std::string& getDriverDesc() const { return description_; }
    const std::string& getStableName() const { return stableName_; }

private:
    std::string name_;
    std::string manufacture_;
    std::string description_;
    std::string stableName_;
};

}  // namespace scalino
