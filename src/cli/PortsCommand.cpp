#include "cli/PortsCommand.h"

#include "platform/SerialAccess.h"
#include "rs232/FriendlyPortUtil.h"
#include "rs232/SerialExceptions.h"
#include "rs232/SerialPortLocal.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp = R"(Usage: scalino-cli ports [--long]

Lists the serial ports of this computer, one per line: the port name (the
device path to use as the port setting), a tab, and its friendly name with the
adapter's description and manufacturer where the system knows them.

Options:
  --long   Add a third column: the stable name under /dev/serial/by-id/ where
           the adapter has one. It stays the same when a USB adapter is
           plugged into another socket, so it is the better port setting.
  --help   Show this text.

When some of the ports listed cannot be opened for reading and writing, a
note on standard error names them and the group to join for access.

The SERIAL_PORT_LIST environment variable replaces the discovery with a fixed
list, separated by ':' or ';', for example
  SERIAL_PORT_LIST=/dev/ttyUSB0:/dev/ttyS0 scalino-cli ports
)";

constexpr const char* kNoPortsHint =
    "No serial port found. Plug in the instrument's adapter and try again, or name the ports "
    "with SERIAL_PORT_LIST (for example SERIAL_PORT_LIST=/dev/ttyUSB0:/dev/ttyS0). A port that "
    "is listed but cannot be opened needs access rights: add your user to the serial group "
    "(sudo usermod -aG dialout $USER on Debian and Ubuntu), then log out and back in.\n";

// The stable name of a port from the driver information, or "".
std::string stableName(const std::vector<PortDriverInfo>& infos, const std::string& port) {
    for (const PortDriverInfo& info : infos) {
        if (info.getPortName() == port) return info.getStableName();
    }
    return "";
}

// One note for all the ports this user may not open, with the advice for the first of them;
// nothing when every port is open to the user.
void noteMissingAccess(const std::vector<std::string>& ports, std::FILE* err) {
    std::string refused;
    for (const std::string& port : ports) {
        if (lacksSerialAccess(port)) refused += (refused.empty() ? "" : ", ") + port;
    }
    if (refused.empty()) return;
    const std::string first = refused.substr(0, refused.find(", "));
    std::fprintf(err, "No read and write access to %s. %s\n", refused.c_str(),
                 serialAccessHint(first).c_str());
}

}  // namespace

int runPorts(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    bool longForm = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, out);
            return 0;
        }
        if (argument != "--long") {
            std::fprintf(err, "scalino-cli ports: unexpected argument '%s'; see --help\n",
                         argument.c_str());
            return 2;
        }
        longForm = true;
    }
    const std::vector<std::string> ports = SerialPortLocal::getPortList();
    if (ports.empty()) {
        std::fputs(kNoPortsHint, err);
        return 0;
    }
    std::vector<PortDriverInfo> infos;
    try {
        infos = SerialPortLocal::getDriverInfoList();
        FriendlyPortUtil::update(infos);
    } catch (const SerialPortException&) {
        // Without driver information the plain names are all there is to show.
    }
    for (const std::string& port : ports) {
        std::fprintf(out, "%s\t%s", port.c_str(),
                     FriendlyPortUtil::getFriendlyPortName(port).c_str());
        if (longForm) std::fprintf(out, "\t%s", stableName(infos, port).c_str());
        std::fputc('\n', out);
    }
    std::fflush(out);
    noteMissingAccess(ports, err);
    return 0;
}

}  // namespace scalino::cli
