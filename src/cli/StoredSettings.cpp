#include "cli/StoredSettings.h"

#include "config/ConfigKeys.h"
#include "config/SettingsStore.h"
#include "prefs/FilePreferencesFactory.h"
#include "util/ProcessProperties.h"

namespace scalino::cli {

std::optional<std::string> takePreferencesOption(std::vector<std::string>& arguments) {
    for (size_t i = 0; i < arguments.size();) {
        std::optional<std::string> file;
        size_t used = 1;
        if (arguments[i] == "--prefs") {
            if (i + 1 >= arguments.size()) return "--prefs needs the name of a preferences file";
            file = arguments[i + 1];
            used = 2;
        } else if (arguments[i].starts_with("--prefs=")) {
            file = arguments[i].substr(8);
        }
        if (!file) {
            ++i;
            continue;
        }
        if (file->empty()) return "--prefs needs the name of a preferences file";
        ProcessProperties::set(FilePreferencesFactory::kFileProperty, *file);
        arguments.erase(arguments.begin() + static_cast<std::ptrdiff_t>(i),
                        arguments.begin() + static_cast<std::ptrdiff_t>(i + used));
    }
    return std::nullopt;
}

Config loadStoredSettings(std::FILE* err, const char* command,
                          const std::vector<std::string>& availablePorts) {
    Config config;
    Preferences& node = openSettingsNode();
    const LoadReport report = loadConfig(config, node, availablePorts);
    if (report.storeFailure) {
        std::fprintf(err,
                     "scalino-cli %s: the stored settings could not be read, defaults apply: %s\n",
                     command, report.storeFailure->c_str());
    }
    for (const InvalidSetting& invalid : report.invalidSettings) {
        const std::string fallback = findConfigKey(invalid.key)->get(config);
        std::fprintf(err,
                     "scalino-cli %s: stored setting %s=%s is not valid; its default %s applies "
                     "until the settings are saved again\n",
                     command, invalid.key.c_str(), invalid.storedValue.c_str(),
                     fallback.empty() ? "(empty)" : fallback.c_str());
    }
    return config;
}

}  // namespace scalino::cli
