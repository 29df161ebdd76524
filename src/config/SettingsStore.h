#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/Config.h"
#include "prefs/BackingStoreException.h"
#include "prefs/Preferences.h"

namespace scalino {

inline constexpr std::string_view kSettingsNodePath = "/com/velmora/Scalino";

// A stored value that its setting does not accept; the default took its place.
struct InvalidSetting {
    std::string key;
    std::string storedValue;
};

struct LoadReport {
    std::vector<InvalidSetting> invalidSettings;
    // Set when the store's file could not be read; the settings then hold the defaults.
    std::optional<std::string> storeFailure;

    bool allValid() const { return invalidSettings.empty(); }
};

// Reads every setting from the node in reading order. "port" is read only when a port is
// available (the first one is its default); a missing key takes its default silently, a
// present value that is not acceptable is replaced by its default and reported.
LoadReport loadConfig(Config& config, Preferences& node,
                      const std::vector<std::string>& availablePorts);

// Writes every setting to the node in writing order ("port" and "prevPort" only when a port is
// set, both with the current port), all in one write to the store: when it throws
// (BackingStoreException), nothing was written.
void saveConfig(const Config& config, Preferences& node);

// Saves the settings, then gives the node's settings (and no other keys) as a preferences
// document. Throws BackingStoreException.
std::string exportConfigDocument(const Config& config, Preferences& node);

// exportConfigDocument written to file, replacing it atomically; through a symbolic link, the
// file it leads to is replaced. A file that exists and is not a regular file (a folder, a FIFO,
// a device) is refused before anything is saved. Throws BackingStoreException.
void exportConfig(const Config& config, Preferences& node, const std::filesystem::path& file);

// A document whose settings include values that loading would not accept (delay=banana): they
// would silently become defaults, so the document is refused as a whole.
class RefusedSettingsException : public InvalidPreferencesFormatException {
public:
    explicit RefusedSettingsException(std::vector<InvalidSetting> refused);
    const std::vector<InvalidSetting>& refused() const { return refused_; }

private:
    std::vector<InvalidSetting> refused_;
};

// Imports a preferences document into the store of root, all of it or, on any failure, nothing.
// A document that is not in the standard form changes nothing (InvalidPreferencesFormatException),
// nor one with settings that would not load (RefusedSettingsException); a file that cannot be
// read, or is larger than kMaxDocumentBytes, throws BackingStoreException.
void importConfig(const std::filesystem::path& file, Preferences& root);

// The shared settings file of a multi-user installation: "/Velmora/ScalinoMU/prefs.txt" under
// the folder named by the environment variable "ProgramData", or under /var/lib where that is
// not set (the usual case on Linux).
std::filesystem::path sharedPreferencesFile();
// An installation is multi-user when the folder of the shared file exists.
bool isMultiUserInstallation();
// Directs the file-backed store to the shared file in a multi-user installation, unless a
// preferences file has been named explicitly. Call before the store is first used.
void selectPreferencesFile();
// The settings node of the process-wide store, after selectPreferencesFile.
Preferences& openSettingsNode();

}  // namespace scalino
