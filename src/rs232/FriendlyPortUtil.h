#pragma once

#include <string>
#include <vector>

#include "rs232/PortDriverInfo.h"

namespace scalino {

// Port names as the user sees them, "/dev/ttyUSB0: FT232R USB UART - FTDI", and back, from a
// snapshot of the driver information taken at update().
class FriendlyPortUtil {
public:
    static constexpr const char* FORMATSTR = "%s: %s - %s";

    // Takes a new snapshot (SerialPortLocal::getDriverInfoList; throws as it does).
    static void update();
    // Replaces the snapshot with given information.
    static void update(std::vector<PortDriverInfo> infos);
    static bool portInfoListIsPopulated();
    static std::vector<std::string> getFriendlyPortList();
    // The friendly name of a plain port name, or the name itself when it has none.
    static std::string getFriendlyPortName(const std::string& portName);
    // The plain name of a friendly name, or the text itself when it is none.
    static std::string getUnfriendlyPortName(const std::string& friendlyName);
    static std::string friendlyName(const PortDriverInfo& info);
};

}  // namespace scalino
