#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "rs232/NativeDriver.h"
#include "rs232/PlatformInfo.h"

namespace scalino {

// The names of the serial ports of the machine and what the driver knows of them: discovered
// by the driver, given by the SERIAL_PORT_LIST property, or registered with addPortName. The
// process keeps one, shared by every port object (SerialPortLocal::getPortList and friends).
class PortList : public PortListSink {
public:
    // The port names: SERIAL_PORT_LIST when it names more than 4 characters; else the
    // driver's discovery (sorted COM1, COM2, COM10 on Windows); else the names added so far.
    // Explanations go to out; never fails.
    std::vector<std::string> getPortList(NativeDriver* driver, const PlatformInfo& platform,
                                         std::FILE* out);
    // Appends a name unless one equal to it ignoring case is there.
    void addPortName(const std::string& name) override;
    // Keeps one record per port name (ignoring case).
    void addPortInfo(const PortDriverInfo& info) override;
    void clearPortListInfo();
    // Throws SerialPortException where the platform has no driver information or no port was
    // discovered yet.
    std::vector<PortDriverInfo> getDriverInfoList(const PlatformInfo& platform) const;
    // The names in discovery order (the unsorted list).
    std::vector<std::string> portList() const;
    int getPortListMode() const;
    void setPortListMode(int mode);

    // COM ports by number, then the names not beginning with COM; other COM names dropped.
    static std::vector<std::string> sortWindowsNames(const std::vector<std::string>& names);

private:
    void addFromProperty(const std::string& value);

    mutable std::mutex mutex_;
    std::vector<std::string> portList_;
    std::vector<PortDriverInfo> portListInfo_;
    int portListMode_ = 0;
};

}  // namespace scalino
