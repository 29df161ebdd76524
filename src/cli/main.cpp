// scalino-cli: the headless front end, for scripting, service use, diagnosis and tests.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CommandLineValues.h"
#include "cli/DetectCommand.h"
#include "cli/LineOutput.h"
#include "cli/PortsCommand.h"
#include "cli/ProcessCommand.h"
#include "cli/ReadCommand.h"
#include "cli/SettingArguments.h"
#include "cli/SettingsCommand.h"
#include "cli/SimulateCommand.h"
#include "cli/TypeCommand.h"
#include "config/Instrument.h"
#include "platform/NativeLibrary.h"
#include "rs232/SerialPortLocal.h"
#include "util/ProcessProperties.h"

namespace {

std::string unexpected(const std::string& argument) {
    return "unexpected argument '" + argument + "'";
}

constexpr const char* kUsage = R"(Usage: scalino-cli [-q] COMMAND [OPTION]...

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
  version       Show the version (also --version).

Options for every command:
  -q, --quiet   Leave out the serial library's banner and notices on standard
                error.
  -h, --help    Show this text, or a command's options after its name.

Run 'scalino-cli COMMAND --help' for a command's options and examples.
)";

constexpr const char* kInstrumentsHelp = R"(Usage: scalino-cli instruments [--long]

Lists the instrument profiles: the name that --set instrument=NAME takes, a
tab, and the instrument's description.

Options:
  --long   Add the profile's own line settings, as --line and --defaults take
           them (bit rate, data bits, parity, stop bits, line end: "2400 7E1
           LF"), and its setup hint where it has one.
  --help   Show this text.
)";

int listInstruments(const std::vector<std::string>& arguments, std::FILE* out) {
    using namespace scalino::ConfigHelper;
    bool longForm = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kInstrumentsHelp, out);
            return scalino::cli::outputWritten(out, stderr, "instruments") ? 0 : 1;
        }
        if (argument != "--long") throw scalino::cli::UsageError(unexpected(argument));
        longForm = true;
    }
    for (Instrument instrument : values<Instrument>()) {
        std::fprintf(out, "%s\t%s", std::string(name(instrument)).c_str(),
                     toString(instrument).c_str());
        if (longForm) {
            std::fprintf(out, "\t%s\t%s",
                         scalino::cli::lineSummary(getDefaultConfig(instrument)).c_str(),
                         getDefaultMessage(instrument).value_or("").c_str());
        }
        std::fputc('\n', out);
    }
    return scalino::cli::outputWritten(out, stderr, "instruments") ? 0 : 1;
}

int showVersion(const std::vector<std::string>& arguments, std::FILE* out) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::fputs("Usage: scalino-cli version\n\nShows the version of scalino-cli.\n", out);
        return scalino::cli::outputWritten(out, stderr, "version") ? 0 : 1;
    }
    if (!arguments.empty()) throw scalino::cli::UsageError(unexpected(arguments.front()));
    std::fprintf(out, "scalino-cli %s\n", SCALINO_VERSION);
    return scalino::cli::outputWritten(out, stderr, "version") ? 0 : 1;
}

// The serial library identifies the platform from these; this program runs on its own host
// unless told otherwise. Its notices go to standard error (standard output carries data), or
// nowhere with -q.
void setUpSerialLibrary(bool quiet) {
    using scalino::ProcessProperties;
    if (!ProcessProperties::get("RS_OSNAME"))
        ProcessProperties::set("RS_OSNAME", ProcessProperties::hostOsName());
    if (!ProcessProperties::get("RS_OSARCH"))
        ProcessProperties::set("RS_OSARCH", ProcessProperties::hostOsArch());
    std::FILE* nowhere = quiet ? std::fopen("/dev/null", "w") : nullptr;
    scalino::SerialPortLocal::setDiagnosticOutput(nowhere ? nowhere : stderr);
    scalino::installNativeDriver();
}

// Takes -q/--quiet out of the arguments (before a "--" that ends the options).
bool takeQuiet(std::vector<std::string>& arguments) {
    bool quiet = false;
    for (auto it = arguments.begin(); it != arguments.end() && *it != "--";) {
        if (*it == "-q" || *it == "--quiet") {
            quiet = true;
            it = arguments.erase(it);
        } else {
            ++it;
        }
    }
    return quiet;
}

int runCommand(const std::string& command, const std::vector<std::string>& arguments) {
    using namespace scalino::cli;
    if (command == "read") return runRead(arguments, stdout, stderr);
    if (command == "ports") return runPorts(arguments, stdout, stderr);
    if (command == "detect") return runDetect(arguments, stdout, stderr);
    if (command == "process") return runProcess(arguments, STDIN_FILENO, stdout, stderr);
    if (command == "instruments") return listInstruments(arguments, stdout);
    if (command == "settings") return runSettings(arguments, stdout, stderr);
    if (command == "export") return runExport(arguments, stdout, stderr);
    if (command == "import") return runImport(arguments, stdout, stderr);
    if (command == "type") return runType(arguments, stdout, stderr);
    if (command == "simulate") return runSimulate(arguments, stdout, stderr);
    if (command == "version" || command == "--version") return showVersion(arguments, stdout);
    std::fprintf(stderr, "scalino-cli: unknown command '%s'; 'scalino-cli --help' lists them\n",
                 command.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool quiet = takeQuiet(arguments);
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
    setUpSerialLibrary(quiet);
    try {
        return runCommand(command, arguments);
    } catch (const scalino::cli::UsageError& error) {
        std::fprintf(stderr, "scalino-cli %s: %s; see 'scalino-cli %s --help'\n",
                     command.c_str(), error.what(), command.c_str());
        return 2;
    }
}
