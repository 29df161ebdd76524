#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string_view>
#include <utility>

#include "config/ConfigKeys.h"

namespace scalino::test {

// Settings with the store's defaults and the given keys set from their stored forms.
inline Config configWith(
    std::initializer_list<std::pair<std::string_view, std::string_view>> settings) {
    Config config = defaultStoreConfig();
    for (const auto& [key, value] : settings) {
        const ConfigKey* setting = findConfigKey(key);
        EXPECT_NE(setting, nullptr) << key;
        if (setting != nullptr) {
            EXPECT_TRUE(setting->set(config, value)) << key << "=" << value;
        }
    }
    return config;
}

}  // namespace scalino::test
