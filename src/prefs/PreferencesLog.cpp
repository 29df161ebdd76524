#include "prefs/PreferencesLog.h"

#include <cstdio>

#include "util/ProcessProperties.h"

namespace scalino {
namespace {

void write(std::string_view level, std::string_view text) {
    std::fprintf(stderr, "FilePreferences %.*s: %.*s\n", static_cast<int>(level.size()),
                 level.data(), static_cast<int>(text.size()), text.data());
}

}  // namespace

void PreferencesLog::error(std::string_view text) {
    write("ERROR", text);
}

void PreferencesLog::debug(std::string_view text) {
    const std::string setting = ProcessProperties::get("SCALINO_DEBUG", "");
    if (!setting.empty() && setting != "0") write("DEBUG", text);
}

}  // namespace scalino
