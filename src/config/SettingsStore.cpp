#include "config/SettingsStore.h"

#include <array>
#include <cstdlib>
#include <sstream>

#include "config/ConfigKeys.h"
#include "prefs/AtomicFile.h"
#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"
#include "prefs/PreferencesXml.h"
#include "prefs/WholeFile.h"
#include "util/ProcessProperties.h"
#include "util/Text.h"

namespace scalino {
namespace {

// The order in which a save writes the settings after "port" and "prevPort".
constexpr std::array<std::string_view, 31> kWritingOrder = {
    "instrument",
    "bitRate",
    "dataBits",
    "stopBits",
    "parity",
    "inputTerminator",
    "decimalSeparator",
    "sound",
    "startWith",
    "outputTerminator",
    "connect",
    "mathOperation",
    "mathOperand",
    "decimalPlaces",
    "roundingMethod",
    "keyboardType",
    "xkbLayout",
    "keyboardOutput",
    "delay",
    "minimizeToTray",
    "notifyWhenMinimizedToTray",
    "checkForUpdates",
    "abortAutoStartWhenPrevPortNotAvailable",
    "ignoreDuplicates",
    "editOperation",
    "editPosition",
    "editNumCharacters",
    "removeCharacters",
    "customRegEx",
    "ignoreTimeLimit",
    "ignoreDifference",
};

// The stored text as the store's typed reads see it: an integer or a flag that does not
// convert reads as missing.
bool convertsToItsForm(const ConfigKey& key, std::string_view stored) {
    if (key.form == StoredForm::Integer) return parseInt(stored).has_value();
    if (key.form == StoredForm::Flag)
        return equalsIgnoringCase(stored, "true") || equalsIgnoringCase(stored, "false");
    return true;
}

std::optional<std::string> readStored(Preferences& node, const ConfigKey& key) {
    auto stored = node.get(key.name);
    if (!stored || !convertsToItsForm(key, *stored)) return std::nullopt;
    return stored;
}

bool isSettingsKey(std::string_view key) {
    return findConfigKey(key) != nullptr;
}

}  // namespace

LoadReport loadConfig(Config& config, Preferences& node,
                      const std::vector<std::string>& availablePorts) {
    LoadReport report;
    try {
        node.sync();
    } catch (const BackingStoreException& error) {
        report.storeFailure = error.what();
    }
    for (const ConfigKey& key : configKeys()) {
        if (key.name == "port" && availablePorts.empty()) continue;
        if (key.name == "port") {
            config.setPort(node.get(key.name, availablePorts.front()));
            continue;
        }
        const auto stored = readStored(node, key);
        if (!stored) {
            key.setDefault(config);
        } else if (!key.set(config, *stored)) {
            key.setDefault(config);
            report.invalidSettings.push_back({std::string(key.name), *stored});
        }
    }
    return report;
}

void saveConfig(const Config& config, Preferences& node) {
    Preferences::NodeValues values;
    if (!config.getPort().empty()) {
        values.entries.emplace_back("port", config.getPort());
        values.entries.emplace_back("prevPort", config.getPort());
    }
    for (std::string_view name : kWritingOrder)
        values.entries.emplace_back(std::string(name), findConfigKey(name)->get(config));
    // One write for all of them: a save is quick, even on the window's thread, and never half
    // done.
    node.putAll({values});
}

std::string exportConfigDocument(const Config& config, Preferences& node) {
    saveConfig(config, node);
    std::ostringstream document;
    exportNode(node, document, isSettingsKey);
    return document.str();
}

void exportConfig(const Config& config, Preferences& node, const std::filesystem::path& file) {
    // Refused before anything is saved.
    refuseSpecialFile(file, followLinks(file));
    replaceFileAtomically(file, exportConfigDocument(config, node));
}

namespace {

std::string refusalText(const std::vector<InvalidSetting>& refused) {
    std::string text = "the document holds settings that would not load, so nothing was imported:";
    for (const InvalidSetting& setting : refused)
        text += " " + setting.key + "=" + setting.storedValue;
    return text;
}

// The entries of the settings node that loading would not accept.
void checkSettings(const std::vector<Preferences::NodeValues>& values) {
    std::vector<InvalidSetting> refused;
    for (const Preferences::NodeValues& node : values) {
        // Document paths are relative to the root.
        if (node.path != kSettingsNodePath.substr(1)) continue;
        for (const auto& [name, value] : node.entries) {
            const ConfigKey* key = findConfigKey(name);
            if (key == nullptr || key->name == "port" || key->name == "prevPort") continue;
            Config probe;
            if (!convertsToItsForm(*key, value) || !key->set(probe, value))
                refused.push_back({name, value});
        }
    }
    if (!refused.empty()) throw RefusedSettingsException(std::move(refused));
}

}  // namespace

RefusedSettingsException::RefusedSettingsException(std::vector<InvalidSetting> refused)
    : InvalidPreferencesFormatException(refusalText(refused)), refused_(std::move(refused)) {}

void importConfig(const std::filesystem::path& file, Preferences& root) {
    const auto text = readWholeFile(file, kMaxDocumentBytes, "preferences document");
    if (!text) {
        throw BackingStoreException("Cannot read " + file.string() +
                                    ": check that the file exists and is readable");
    }
    importPreferences(*text, root, checkSettings);
}

std::filesystem::path sharedPreferencesFile() {
    const char* programData = std::getenv("ProgramData");
    const std::filesystem::path folder = programData && *programData ? programData : "/var/lib";
    return folder / "Velmora" / "ScalinoMU" / "prefs.txt";
}

bool isMultiUserInstallation() {
    std::error_code error;
    return std::filesystem::is_directory(sharedPreferencesFile().parent_path(), error);
}

void selectPreferencesFile() {
    if (!ProcessProperties::get(FilePreferencesFactory::kFileProperty, "").empty()) return;
    if (isMultiUserInstallation()) {
        ProcessProperties::set(FilePreferencesFactory::kFileProperty,
                               sharedPreferencesFile().string());
    }
}

Preferences& openSettingsNode() {
    selectPreferencesFile();
    return FilePreferencesFactory::instance().userRoot().node(kSettingsNodePath);
}

}  // namespace scalino
