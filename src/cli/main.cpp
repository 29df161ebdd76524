// scalino-cli: the headless front end, for scripting, service use, diagnosis and tests.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/DetectCommand.h"
#include "cli/LineOutput.h"
#include "cli/PortsCommand.h"
#include "cli/ProcessCommand.h"
#include "cli/ReadCommand.h"
#include "cli/SettingsCommand.h"
#include "cli/SimulateCommand.h"
#include "cli/TypeCommand.h"
#include "config/Instrument.h"
#include "platform/NativeLibrary.h"
#include "rs232/SerialPortLocal.h"
#include "util/ProcessProperties.h"

namespace {

constexpr const char* kUsage = R"(Usage: scalino-cli COMMAND [OPTION]...

Commands:
  process       Process instrument data from standard input and print the
                values that would be typed.
  read          Connect to an instrument on a serial port and print (and
                optionally type) every value it sends.
  ports         List the serial ports of this computer.
  detect        Find the serial port an instrument is attached to.
  instruments   List the instrument names that --set instrument=NAME takes.
  settings      Print the stored settings; change and save them.
  export        Write the stored settings to a preferences document.
  import        Read a preferences document into the settings store.
  type          Type a text into the focused application as a connection
                types a value (or print the key events with --keyboard record).
  simulate      Act as an instrument on a pseudo-terminal, for trying out a
                connection without a device.

Run 'scalino-cli COMMAND --help' for a command's options and examples.
)";

int listInstruments(std::FILE* out) {
    using namespace scalino::ConfigHelper;
    for (Instrument instrument : values<Instrument>()) {
        std::fprintf(out, "%s\t%s\n", std::string(name(instrument)).c_str(),
                     toString(instrument).c_str());
    }
    return scalino::cli::outputWritten(out, stderr, "instruments") ? 0 : 1;
}

// The serial library identifies the platform from these; this program runs on its own host
// unless told otherwise. Its notices go to standard error: standard output carries data.
void setUpSerialLibrary() {
    using scalino::ProcessProperties;
    if (!ProcessProperties::get("RS_OSNAME"))
        ProcessProperties::set("RS_OSNAME", ProcessProperties::hostOsName());
    if (!ProcessProperties::get("RS_OSARCH"))
        ProcessProperties::set("RS_OSARCH", ProcessProperties::hostOsArch());
    scalino::SerialPortLocal::setDiagnosticOutput(stderr);
    scalino::installNativeDriver();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = arguments.front();
    arguments.erase(arguments.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return scalino::cli::outputWritten(stdout, stderr, "help") ? 0 : 1;
    }
    setUpSerialLibrary();
    if (command == "read") return scalino::cli::runRead(arguments, stdout, stderr);
    if (command == "ports") return scalino::cli::runPorts(arguments, stdout, stderr);
    if (command == "detect") return scalino::cli::runDetect(arguments, stdout, stderr);
    if (command == "process")
        return scalino::cli::runProcess(arguments, STDIN_FILENO, stdout, stderr);
    if (command == "instruments") return listInstruments(stdout);
    if (command == "settings") return scalino::cli::runSettings(arguments, stdout, stderr);
    if (command == "export") return scalino::cli::runExport(arguments, stdout, stderr);
    if (command == "import") return scalino::cli::runImport(arguments, stdout, stderr);
    if (command == "type") return scalino::cli::runType(arguments, stdout, stderr);
    if (command == "simulate") return scalino::cli::runSimulate(arguments, stdout, stderr);
    std::fprintf(stderr, "scalino-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
