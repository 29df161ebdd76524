#pragma once

#include <string_view>

namespace scalino {

// Diagnostic lines of the preferences store, on standard error. Errors are always written;
// debug detail only when the process property (or environment variable) SCALINO_DEBUG is set
// to anything but "" or "0".
class PreferencesLog {
public:
    static void error(std::string_view text);
    static void debug(std::string_view text);
};

}  // namespace scalino
