#include "config/ConfigKeys.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

TEST(ConfigKeysTest, StoreDefaultsDifferFromTheObjectsOwn) {
    const Config config = defaultStoreConfig();
    const std::pair<std::string_view, std::string_view> expected[] = {
        {"instrument", "GENERIC"},
        {"bitRate", "7"},
        {"dataBits", "3"},
        {"stopBits", "0"},
        {"parity", "0"},
        {"inputTerminator", "13"},
        {"delay", "20"},
        {"roundingMethod", "HALF_UP"},
        {"minimizeToTray", "false"},
        {"notifyWhenMinimizedToTray", "false"},
        {"checkForUpdates", "true"},
        {"abortAutoStartWhenPrevPortNotAvailable", "false"},
        {"ignoreDuplicates", "false"},
        {"keyboardType", "QUERTY"},
        {"mathOperand", ""}};
    for (const auto& [key, value] : expected)
        EXPECT_EQ(findConfigKey(key)->get(config), value) << key;
}

struct StoredCase {
    std::string_view key, stored;
    bool acceptable;
    std::string_view readBack;  // the stored form afterwards
};

TEST(ConfigKeysTest, StoredValuesPassTheAcceptanceRules) {
    const StoredCase cases[] = {
        {"bitRate", "15", false, "7"},
        {"bitRate", "14", true, "14"},
        {"bitRate", "x", false, "7"},
        {"bitRate", "+3", true, "3"},
        {"instrument", "kern_572", false, "GENERIC"},
        {"instrument", "KERN_572", true, "KERN_572"},
        {"inputTerminator", "59", true, "59"},
        {"inputTerminator", "256", false, "13"},
        {"checkForUpdates", "FALSE", true, "false"},
        {"checkForUpdates", "yes", false, "true"},
        {"decimalSeparator", "COMMA", true, "COMMA"},
        {"decimalSeparator", ",", false, "DOT"},
        {"customRegEx", "[)](\\d+)", false, ""},
        {"delay", "1001", false, "20"},
        {"port", "/dev/ttyUSB0", true, "/dev/ttyUSB0"},
        {"parity", "5", false, "0"},
    };
    for (const auto& c : cases) {
        Config config = defaultStoreConfig();
        const ConfigKey* key = findConfigKey(c.key);
        ASSERT_NE(key, nullptr) << c.key;
        EXPECT_EQ(key->set(config, c.stored), c.acceptable) << c.key << "=" << c.stored;
        EXPECT_EQ(key->get(config), c.readBack) << c.key << "=" << c.stored;
    }
    EXPECT_EQ(findConfigKey("nonsense"), nullptr);
}

}  // namespace
}  // namespace scalino
