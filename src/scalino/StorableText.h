#pragma once

#include <string_view>

#include "prefs/Preferences.h"

namespace scalino {

// Whether a text typed into a dialog can be kept as a setting: the preferences store refuses
// values longer than its limit and values holding the character 0. A dialog refuses such a
// text at once rather than lose it when the settings are saved.
inline bool isStorableText(std::string_view text) {
    return text.size() <= Preferences::MAX_VALUE_LENGTH &&
           text.find('\0') == std::string_view::npos;
}

}  // namespace scalino
