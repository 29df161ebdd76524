// How the command line writes settings against how the store keeps them.
#include "cli/CommandLineValues.h"

#include <gtest/gtest.h>

#include "cli/SettingArguments.h"
#include "config/Instrument.h"

namespace scalino::cli {
namespace {

struct Translation {
    const char* key;
    const char* given;
    const char* stored;
};

void PrintTo(const Translation& t, std::ostream* out) {
    *out << t.key << "=" << t.given;
}

class StoredFormTest : public ::testing::TestWithParam<Translation> {};

TEST_P(StoredFormTest, GivesTheFormTheStoreKeeps) {
    const Translation& t = GetParam();
    EXPECT_EQ(toStoredForm(*findConfigKey(t.key), t.given), t.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StoredFormTest,
    ::testing::Values(
        // Real values of the serial parameters become positions.
        Translation{"bitRate", "9600", "7"}, Translation{"bitRate", "110", "0"},
        Translation{"bitRate", "921600", "14"}, Translation{"bitRate", "br_2400", "5"},
        Translation{"dataBits", "7", "2"}, Translation{"dataBits", "5", "0"},
        Translation{"dataBits", "8", "3"}, Translation{"stopBits", "2", "1"},
        Translation{"parity", "even", "2"}, Translation{"parity", "Space", "4"},
        Translation{"parity", "NONE", "0"},
        // One stop bit is written 1, although 1 is the position of two.
        Translation{"stopBits", "1", "0"},
        // Positions are kept where they cannot be a real value.
        Translation{"bitRate", "7", "7"}, Translation{"dataBits", "3", "3"},
        Translation{"stopBits", "0", "0"}, Translation{"parity", "2", "2"},
        // Names in any letter case, and the keyboard's usual spelling.
        Translation{"roundingMethod", "half_even", "HALF_EVEN"},
        Translation{"instrument", "kern_mps", "KERN_MPS"},
        Translation{"keyboardType", "QWERTY", "QUERTY"},
        Translation{"keyboardType", "qwerty", "QUERTY"},
        Translation{"keyboardType", "german", "GERMAN"},
        // What a key does not know is left for its own check to refuse.
        Translation{"bitRate", "9601", "9601"}, Translation{"parity", "evens", "evens"},
        Translation{"removeCharacters", "kg", "kg"}, Translation{"delay", "Fast", "Fast"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(CommandLineFormTest, ReadsBackAsTheSameStoredValueForEverySetting) {
    Config config = defaultStoreConfig();
    ASSERT_FALSE(applySettings(config, {"bitRate=57600", "dataBits=6", "stopBits=2",
                                        "parity=mark", "keyboardType=AZERTY"}));
    for (const ConfigKey& key : configKeys()) {
        Config again = defaultStoreConfig();
        ASSERT_TRUE(key.set(again, toStoredForm(key, toCommandLineForm(key, config))))
            << key.name;
        EXPECT_EQ(key.get(again), key.get(config)) << key.name;
    }
    EXPECT_EQ(toCommandLineForm(*findConfigKey("bitRate"), config), "57600");
    EXPECT_EQ(toCommandLineForm(*findConfigKey("stopBits"), config), "2");
    EXPECT_EQ(toCommandLineForm(*findConfigKey("parity"), config), "MARK");
    ASSERT_FALSE(applySettings(config, {"keyboardType=QUERTY"}));
    EXPECT_EQ(toCommandLineForm(*findConfigKey("keyboardType"), config), "QWERTY");
}

TEST(LineAssignmentsTest, SplitsBitRateFramingAndLineEnd) {
    using Assignments = std::vector<std::string>;
    EXPECT_EQ(std::get<Assignments>(lineAssignments("9600,8N1")),
              (Assignments{"bitRate=9600", "dataBits=8", "parity=NONE", "stopBits=1"}));
    EXPECT_EQ(std::get<Assignments>(lineAssignments("2400,7e2,lf")),
              (Assignments{"bitRate=2400", "dataBits=7", "parity=EVEN", "stopBits=2",
                           "inputTerminator=10"}));
    EXPECT_EQ(std::get<Assignments>(lineAssignments("1200 5S1 4")).back(), "inputTerminator=4");
    EXPECT_EQ(std::get<Assignments>(lineAssignments("19200,8O1,CR")).at(2), "parity=ODD");
    for (const char* wrong : {"9600", "9600,8N", "9600,9N1", "9600,8X1", "9600,8N3", "9600,8N1,XX",
                              "9600,8N1,256", "9600,8N1,CR,1", ""}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(lineAssignments(wrong))) << wrong;
    }
}

TEST(LineSummaryTest, NamesWhatTheInstrumentSends) {
    using namespace ConfigHelper;
    EXPECT_EQ(lineSummary(getDefaultConfig(Instrument::AND_SIMPLE)), "2400 7E1 LF");
    EXPECT_EQ(lineSummary(getDefaultConfig(Instrument::GENERIC)), "9600 8N1 CR");
    EXPECT_EQ(lineSummary(getDefaultConfig(Instrument::MYWEIGH_HD)), "9600 8S1 CR");
    Config config;
    config.setInputTerminator(3);
    EXPECT_EQ(lineSummary(config).substr(lineSummary(config).rfind(' ') + 1), "3");
}

TEST(SettingOptionsTest, DefaultsGiveWayToWhatIsGivenExplicitly) {
    std::vector<std::string> arguments = {"--set", "instrument=AND_SIMPLE", "--defaults",
                                          "-b",    "9600",                  "--keep"};
    SettingOptions options;
    takeSettingOptions(arguments, options, true);
    EXPECT_EQ(arguments, std::vector<std::string>{"--keep"});
    ASSERT_TRUE(options.defaults);
    Config config = defaultStoreConfig();
    ASSERT_FALSE(applySettings(config, options));
    EXPECT_EQ(lineSummary(config), "9600 7E1 LF");  // the explicit rate, the balance's framing
}

TEST(SettingOptionsTest, AnOptionWithoutItsValueIsAUsageError) {
    for (const char* option : {"--set", "-b", "--baud", "--line"}) {
        std::vector<std::string> arguments = {"--defaults", option};
        SettingOptions options;
        try {
            takeSettingOptions(arguments, options, true);
            ADD_FAILURE() << option;
        } catch (const UsageError& error) {
            EXPECT_EQ(error.what(), "option '" + std::string(option) + "' requires an argument");
        }
    }
}

}  // namespace
}  // namespace scalino::cli
