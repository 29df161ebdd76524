#include "prefs/FilePreferencesFactory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "prefs/PreferencesLog.h"
#include "util/ProcessProperties.h"

namespace scalino {
namespace {

std::filesystem::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return ".";
}

std::filesystem::path choosePreferencesFile() {
    const std::string named = ProcessProperties::get(FilePreferencesFactory::kFileProperty, "");
    std::filesystem::path file =
        named.empty() ? homeFolder() / ".fileprefs" : std::filesystem::path(named);
    file = std::filesystem::absolute(file).lexically_normal();
    PreferencesLog::debug("Preferences file is " + file.string());
    return file;
}

}  // namespace

FilePreferencesFactory::FilePreferencesFactory(std::filesystem::path file)
    : file_(std::make_shared<PreferencesFile>(std::move(file))) {}

Preferences& FilePreferencesFactory::userRoot() {
    if (!root_) {
        PreferencesLog::debug("Instantiating root preferences");
        root_ = std::make_unique<FilePreferences>(file_);
    }
    return *root_;
}

const std::filesystem::path& FilePreferencesFactory::getPreferencesFile() {
    static const std::filesystem::path file = choosePreferencesFile();
    return file;
}

FilePreferencesFactory& FilePreferencesFactory::instance() {
    static FilePreferencesFactory factory(getPreferencesFile());
    return factory;
}

}  // namespace scalino
