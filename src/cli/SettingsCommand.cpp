#include "cli/SettingsCommand.h"

#include <exception>
#include <optional>

#include "cli/CommandLineValues.h"
#include "cli/LineOutput.h"
#include "cli/SettingArguments.h"
#include "cli/StoredSettings.h"
#include "config/ConfigKeys.h"
#include "config/SettingsStore.h"
#include "prefs/FilePreferencesFactory.h"
#include "rs232/SerialPortLocal.h"

namespace scalino::cli {
namespace {

constexpr const char* kSettingsHelp =
    R"(Usage: scalino-cli settings [--prefs FILE] [--set KEY=VALUE]... [--defaults]
                            [-b RATE] [--line SETTINGS] [--save]

Loads the settings from the settings store as the desktop program does at
start-up and prints every setting as KEY=VALUE, in the order the store is
read and in the form --set takes (bitRate=9600, parity=EVEN; the store keeps
the list positions the desktop program uses). A stored value that is not
valid is reported on standard error and its default is shown.

Options:
  --prefs FILE      Use FILE as the settings file instead of the usual one
                    (~/.fileprefs, or the shared file of a multi-user
                    installation).
  --set KEY=VALUE   Change one setting (as 'scalino-cli process --help' lists).
  --defaults        Set the instrument's own line settings (bit rate, data
                    bits, parity, stop bits, input terminator) where no option
                    gives them, as the window's default button does, and show
                    its setup hint.
  -b, --baud RATE   The bit rate, as --set bitRate=RATE.
  --line SETTINGS   Bit rate, data bits, parity and stop bits at once:
                    9600,8N1 or 2400,7E1, optionally with the line end:
                    2400,7E1,LF.
  --save            Save the settings to the store, as the desktop program
                    saves them.
  --help            Show this text.

Exit status: 0 when done, 1 when the store or the output cannot be written,
2 for a bad option or value.

Example:
  scalino-cli settings --set instrument=AND_SIMPLE --defaults --save
)";

constexpr const char* kExportHelp = R"(Usage: scalino-cli export FILE [--prefs FILE]

Saves the stored settings (as loaded, invalid values replaced by their
defaults) and writes them to FILE as a preferences document, for example
Scalino.xml, to be imported on other computers. FILE is replaced in one step;
through a symbolic link, the file it leads to is. A folder, a FIFO or a device
is refused. FILE '-' (or /dev/stdout) writes the document to standard output.

Exit status: 0 when done, 1 when the store or FILE cannot be written, 2 for a
bad option.
)";

constexpr const char* kImportHelp = R"(Usage: scalino-cli import FILE [--prefs FILE]

Reads the preferences document FILE ('-' for standard input) and writes its
settings into the settings store, replacing the stored values of the same
keys, all in one step. A document that is not valid changes nothing, and
neither does one with a setting whose value would not load (delay=banana):
each such value is named on standard error. The desktop program uses the
imported settings from its next start.

Exit status: 0 when done, 1 when the document is refused or the store cannot
be written, 2 for a bad option.
)";

struct Options {
    std::vector<std::string> positional;
    SettingOptions settings;
    bool save = false;
};

// Parses the common options; on --help or a bad option, the exit status.
std::optional<int> parse(std::vector<std::string> arguments, const char* command, const char* help,
                         bool takesSettings, Options& options, std::FILE* out, std::FILE* err) {
    if (auto error = takePreferencesOption(arguments)) {
        std::fprintf(err, "scalino-cli %s: %s\n", command, error->c_str());
        return 2;
    }
    if (takesSettings) takeSettingOptions(arguments, options.settings, true);
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(help, out);
            return outputWritten(out, err, command) ? 0 : 1;
        }
        if (takesSettings && argument == "--save") {
            options.save = true;
        } else if (!takesSettings && (argument == "-" || !argument.starts_with("-")) &&
                   options.positional.empty()) {
            options.positional.push_back(argument);
        } else {
            std::fprintf(err, "scalino-cli %s: unexpected argument '%s'; see --help\n", command,
                         argument.c_str());
            return 2;
        }
    }
    if (!takesSettings && options.positional.empty()) {
        std::fprintf(err, "scalino-cli %s: the name of the document file is missing; see --help\n",
                     command);
        return 2;
    }
    return std::nullopt;
}

// "-" and /dev/stdout are written directly: replacing what standard output leads to (a file the
// shell opened, a terminal) is not what is meant.
bool writesToStandardOutput(const std::string& file) {
    return file == "-" || file == "/dev/stdout";
}

int storeFailure(std::FILE* err, const char* command, const std::exception& error) {
    std::fprintf(err, "scalino-cli %s: %s\n", command, error.what());
    return 1;
}

}  // namespace

int runSettings(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parse(arguments, "settings", kSettingsHelp, true, options, out, err))
        return *status;
    Config config = loadStoredSettings(err, "settings", SerialPortLocal::getPortList());
    if (auto error = applySettings(config, options.settings)) {
        std::fprintf(err, "scalino-cli settings: %s\n", error->message.c_str());
        return 2;
    }
    if (options.settings.defaults) reportDefaults(err, "settings", config);
    for (const ConfigKey& key : configKeys()) {
        std::fprintf(out, "%s=%s\n", std::string(key.name).c_str(),
                     toCommandLineForm(key, config).c_str());
    }
    // The save asked for is made even when the output could not be written.
    const bool written = outputWritten(out, err, "settings");
    if (options.save) {
        try {
            saveConfig(config, openSettingsNode());
        } catch (const std::exception& error) {
            return storeFailure(err, "settings", error);
        }
    }
    return written ? 0 : 1;
}

int runExport(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parse(arguments, "export", kExportHelp, false, options, out, err))
        return *status;
    const Config config = loadStoredSettings(err, "export", SerialPortLocal::getPortList());
    const std::string& file = options.positional.front();
    try {
        if (!writesToStandardOutput(file)) {
            exportConfig(config, openSettingsNode(), file);
            return 0;
        }
        const std::string document = exportConfigDocument(config, openSettingsNode());
        std::fwrite(document.data(), 1, document.size(), out);
    } catch (const std::exception& error) {
        return storeFailure(err, "export", error);
    }
    return outputWritten(out, err, "export") ? 0 : 1;
}

int runImport(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    Options options;
    if (auto status = parse(arguments, "import", kImportHelp, false, options, out, err))
        return *status;
    const std::string& file = options.positional.front();
    try {
        selectPreferencesFile();
        // The file behind standard input is read as any other, with the same bound.
        importConfig(file == "-" ? "/dev/stdin" : file,
                     FilePreferencesFactory::instance().userRoot());
    } catch (const RefusedSettingsException& error) {
        for (const InvalidSetting& setting : error.refused()) {
            std::fprintf(err, "scalino-cli import: %s=%s will not load: expected %s\n",
                         setting.key.c_str(), setting.storedValue.c_str(),
                         std::string(acceptedValues(setting.key)).c_str());
        }
        std::fprintf(err,
                     "scalino-cli import: nothing was imported; correct these values in %s and "
                     "import it again\n",
                     file == "-" ? "the document" : file.c_str());
        return 1;
    } catch (const std::exception& error) {
        return storeFailure(err, "import", error);
    }
    return 0;
}

}  // namespace scalino::cli
