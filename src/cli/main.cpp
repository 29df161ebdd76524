// scalino-cli: the headless front end, for scripting, service use, diagnosis and tests.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/ProcessCommand.h"
#include "config/Instrument.h"

namespace {

constexpr const char* kUsage = R"(Usage: scalino-cli COMMAND [OPTION]...

Commands:
  process       Process instrument data from standard input and print the
                values that would be typed.
  instruments   List the instrument names that --set instrument=NAME takes.

Run 'scalino-cli COMMAND --help' for a command's options and examples.
)";

int listInstruments(std::FILE* out) {
    using namespace scalino::ConfigHelper;
    for (Instrument instrument : values<Instrument>()) {
        std::fprintf(out, "%s\t%s\n", std::string(name(instrument)).c_str(),
                     toString(instrument).c_str());
    }
    return 0;
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
        return 0;
    }
    if (command == "process")
        return scalino::cli::runProcess(arguments, STDIN_FILENO, stdout, stderr);
    if (command == "instruments") return listInstruments(stdout);
    std::fprintf(stderr, "scalino-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
