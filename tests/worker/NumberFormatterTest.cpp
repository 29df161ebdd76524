#include "worker/NumberFormatter.h"

#include <gtest/gtest.h>

#include "support/ConfigBuilder.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using test::configWith;

struct FormatCase {
    std::string_view value;
    std::string_view places, method, operation, operand, separator;
    std::string_view expected;
};

std::string format(const FormatCase& c) {
    const Config config = configWith({{"decimalPlaces", c.places},
                                      {"roundingMethod", c.method},
                                      {"mathOperation", c.operation},
                                      {"mathOperand", c.operand},
                                      {"decimalSeparator", c.separator}});
    return NumberFormatter::fromConfig(config).format(c.value);
}

TEST(NumberFormatterTest, FormatsReadings) {
    const FormatCase cases[] = {
        // value, places, method, operation, operand, separator -> typed
        {"0,5", "", "HALF_UP", "NONE", "", "COMMA", "0,5"},
        {"0,5", "", "HALF_UP", "NONE", "", "DOT", "0.5"},
        {"12.30", "", "HALF_UP", "NONE", "", "DOT", "12.30"},
        {"-3.14159", "2", "HALF_UP", "NONE", "", "DOT", "-3.14"},
        {"-3.14159", "2", "CEILING", "NONE", "", "DOT", "-3.14"},
        {"-3.14159", "2", "FLOOR", "NONE", "", "DOT", "-3.15"},
        {"2.5", "0", "HALF_EVEN", "NONE", "", "DOT", "2"},
        {"2.5", "0", "HALF_UP", "NONE", "", "DOT", "3"},
        {"3.5", "0", "HALF_EVEN", "NONE", "", "DOT", "4"},
        {"-2.5", "0", "HALF_DOWN", "NONE", "", "DOT", "-2"},
        {"10", "2", "HALF_UP", "DIVIDE", "3", "DOT", "3.33"},
        {"10", "2", "HALF_UP", "DIVIDE", "2", "DOT", "5.00"},
        {"1234567.8", "", "HALF_UP", "NONE", "", "DOT", "1234567.8"},
        {"1.5", "2", "HALF_UP", "NONE", "", "DOT", "1.5"},  // places are a maximum
        {"1.2345", "2", "HALF_UP", "NONE", "", "DOT", "1.23"},
        {"9.995", "2", "HALF_UP", "NONE", "", "COMMA", "10,00"},
        {"+00012.34", "", "HALF_UP", "NONE", "", "DOT", "12.34"},
        {"-0.004", "2", "HALF_UP", "NONE", "", "DOT", "0.00"},  // zero has no sign
        {"1.5", "", "HALF_UP", "MULTIPLY", "2", "DOT", "3.0"},
        {"1.5", "", "HALF_UP", "MULTIPLY", "2.00", "DOT", "3.000"},
        {"12.345", "2", "HALF_EVEN", "MULTIPLY", "1000", "DOT", "12345.00"},  // 12345.000 rounded
        {"1,5", "1", "HALF_UP", "MULTIPLY", "0.333", "COMMA", "0,5"},
        {"7", "", "HALF_UP", "MULTIPLY", "1E3", "DOT", "7000"},  // a negative scale prints none
        {"7", "3", "HALF_UP", "MULTIPLY", "1E3", "DOT", "7000"},
        {"12.5", "", "HALF_UP", "DIVIDE", "4", "DOT", "12.5"},  // division needs places: off
        {"1E3", "", "HALF_UP", "NONE", "", "DOT", "1000"},
        {"-.5", "", "HALF_UP", "NONE", "", "DOT", "-0.5"},
        {"5.", "", "HALF_UP", "NONE", "", "DOT", "5"},
        {"-10", "1", "HALF_UP", "DIVIDE", "-4", "DOT", "2.5"},
        {"1", "2", "HALF_DOWN", "DIVIDE", "7.99999999999", "DOT", "0.13"},
        {"1.123456789", "7", "HALF_UP", "NONE", "", "DOT", "1.1234568"},  // the most places
        {"1.123456789", "7", "DOWN", "MULTIPLY", "10", "DOT", "11.2345678"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format(c), c.expected) << c.value << " places '" << c.places << "' " << c.method
                                         << " " << c.operation << " " << c.operand;
    }
}

TEST(NumberFormatterTest, ValuesThatAreNotNumbersAndDivisionByZeroFail) {
    const Config plain = configWith({});
    for (std::string_view bad : {"abc", "1.2.3", "1,2,3", "12kg", "--1", "+", ""}) {
        EXPECT_THROW(NumberFormatter::fromConfig(plain).format(bad), ProcessingError) << bad;
    }
    // The settings refuse a zero operand; an operand that is zero anyway still fails each value.
    const Config divide =
        configWith({{"decimalPlaces", "2"}, {"mathOperation", "DIVIDE"}, {"mathOperand", "2"}});
    NumberFormatter byZero(divide, 2, RoundingMode::HALF_UP, ConfigHelper::MathOperation::DIVIDE,
                           Decimal::parse("0.0"));
    EXPECT_THROW(byZero.format("5"), ProcessingError);
}

}  // namespace
}  // namespace scalino
