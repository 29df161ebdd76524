#include "config/Config.h"

#include <gtest/gtest.h>

#include "support/ConfigBuilder.h"

namespace scalino {
namespace {

using test::configWith;
using namespace ConfigHelper;

TEST(ConfigTest, DerivedValues) {
    Config config;
    config.setDelay("");
    EXPECT_EQ(config.getDelayAsInt(), 20);
    config.setDelay("35");
    EXPECT_EQ(config.getDelayAsInt(), 35);
    EXPECT_EQ(config.getEditNumCharactersAsInt(), 0);
    EXPECT_EQ(config.getDecimalPlacesAsInt(), std::nullopt);
    EXPECT_FALSE(config.roundingEnabled());
    config.setDecimalPlaces("8");
    EXPECT_FALSE(config.roundingEnabled());
    config.setDecimalPlaces("0");
    EXPECT_TRUE(config.roundingEnabled());
}

struct MathCase {
    std::string_view operation, operand, places;
    bool enabled;
};

TEST(ConfigTest, DivisionIsEnabledOnlyWithDecimalPlaces) {
    const MathCase cases[] = {
        {"DIVIDE", "2", "", false},   {"DIVIDE", "2", "2", true},   {"MULTIPLY", "2", "", true},
        {"MULTIPLY", "2", "2", true}, {"MULTIPLY", "", "2", false}, {"DIVIDE", "", "2", false},
        {"NONE", "2", "2", false},
    };
    for (const auto& c : cases) {
        const Config config = configWith({{"mathOperation", c.operation},
                                          {"mathOperand", c.operand},
                                          {"decimalPlaces", c.places}});
        EXPECT_EQ(config.mathOperationEnabled(), c.enabled)
            << c.operation << " " << c.operand << " places '" << c.places << "'";
    }
    EXPECT_EQ(configWith({{"mathOperand", "1E3"}}).getMathOperandAsBigDecimal().toPlainString(),
              "1000");
    for (const std::string spelling : {"0", "0.0", "-0"}) {
        Config zero;
        zero.setMathOperand(spelling);
        EXPECT_THROW(zero.getMathOperandAsBigDecimal(), std::invalid_argument) << spelling;
    }
}

TEST(ConfigTest, SettingTheInstrumentTellsItsType) {
    Config config;
    std::vector<std::string> told;
    const auto id = config.addPropertyChangeListener(
        [&](const PropertyChangeEvent& event) { told.push_back(event.propertyName); });
    config.setInstrument(Instrument::BARCODE);
    config.setInstrument(Instrument::KERN_572);
    config.removePropertyChangeListener(id);
    config.setInstrument(Instrument::BARCODE_ALPHA);
    EXPECT_EQ(told, (std::vector<std::string>{"TEXT", "NUMBER"}));
}

TEST(ConfigTest, CopiesAndChangeDetection) {
    Config config = configWith({{"port", "/dev/ttyUSB0"}, {"prevPort", "/dev/ttyS0"}});
    int calls = 0;
    config.addPropertyChangeListener([&](const PropertyChangeEvent&) { ++calls; });
    Config copy = Config::copyConfig(config);
    EXPECT_EQ(copy.getPrevPort(), std::nullopt);
    EXPECT_FALSE(Config::hasChanged(copy, config));
    copy.setInstrument(Instrument::AND);  // the copy has no listeners
    EXPECT_EQ(calls, 0);

    Config reference = Config::copyConfig(config);
    config.setDelay("25");
    EXPECT_TRUE(Config::hasChanged(reference, config));
    config.setDelay("20");
    EXPECT_FALSE(Config::hasChanged(reference, config));
    config.setPrevPort("/dev/ttyACM0");  // the previous port is not a setting the user changes
    EXPECT_FALSE(Config::hasChanged(reference, config));
    config.ignoreDuplicates() = !config.ignoreDuplicates();
    EXPECT_TRUE(Config::hasChanged(reference, config));
}

}  // namespace
}  // namespace scalino
