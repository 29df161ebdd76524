#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "prefs/FilePreferences.h"

namespace scalino {

// Hands out the root of a preferences tree kept in one file. The program uses the process-wide
// factory (instance()), whose file is chosen once; tests and tools may make their own.
class FilePreferencesFactory {
public:
    // The process-wide property (or environment variable) naming the preferences file.
    static constexpr std::string_view kFileProperty = "SCALINO_PREFS_FILE";

    explicit FilePreferencesFactory(std::filesystem::path file);

    // The root node, created on the first call. The system tree is the user tree.
    Preferences& userRoot();
    Preferences& systemRoot() { return userRoot(); }
    const std::filesystem::path& preferencesFile() const { return file_->path(); }

    static FilePreferencesFactory& instance();
    // The process's preferences file, chosen on first use: the file named by kFileProperty,
    // else ".fileprefs" in the home folder; made absolute.
    static const std::filesystem::path& getPreferencesFile();

private:
    std::shared_ptr<const PreferencesFile> file_;
    std::unique_ptr<FilePreferences> root_;
};

}  // namespace scalino
