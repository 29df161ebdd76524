#include "util/Decimal.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace scalino {
namespace {

Decimal number(std::string_view text) {
    auto parsed = Decimal::parse(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.value_or(Decimal());
}

struct ParseCase {
    std::string_view text;
    std::string_view unscaled;
    int scale;
};

TEST(DecimalTest, ParsesDecimalTextsKeepingTheirScale) {
    const ParseCase cases[] = {
        {"1E3", "1", -3},
        {"-2.5", "-25", 1},
        {".5", "5", 1},
        {"5.", "5", 0},
        {"+00012.34", "1234", 2},
        {"0.000", "0", 3},
        {"1e-2", "1", 2},
        {"1.5E+2", "15", -1},
        {"-0", "0", 0},
        {"12.30", "1230", 2},
        {"00", "0", 0},
        {"0.0", "0", 1},
        {"123456789012345678901234567890.5", "1234567890123456789012345678905", 1},
        {"-99999999999999999999", "-99999999999999999999", 0},
        {"1E-10000", "1", 10000},
    };
    for (const auto& c : cases) {
        const Decimal d = number(c.text);
        EXPECT_EQ(d.unscaledValue().get_str(), c.unscaled) << c.text;
        EXPECT_EQ(d.scale(), c.scale) << c.text;
    }
}

TEST(DecimalTest, RejectsTextsThatAreNotDecimalNumbers) {
    for (std::string_view text :
         {"",         "+",    "-",    ".",        "1,5",           " 1",
          "1 ",       "1E",   "E3",   "1.2.3",    "0x10",          "1e+",
          "--1",      "+-1",  "NaN",  "Infinity", "1E99999999999", "1E10001",
          "1E-10001", "12kg", "\xb0", "1_000"}) {
        EXPECT_FALSE(Decimal::parse(text).has_value()) << text;
    }
}

TEST(DecimalTest, PrintsPlainWithExactlyItsScale) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"1E3", "1000"},
        {"0E3", "0"},
        {"-0.00", "0.00"},
        {"1.5E-3", "0.0015"},
        {"-2.5", "-2.5"},
        {"0.001", "0.001"},
        {"12.30", "12.30"},
        {"+00012.34", "12.34"},
        {"1234567.8", "1234567.8"},
        {"-.5", "-0.5"},
        {"5.", "5"},
        {"-123456789012345678901234567890.12", "-123456789012345678901234567890.12"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(number(text).toPlainString(), expected) << text;
    EXPECT_EQ(number("-1234.5").toPlainString(','), "-1234,5");
}

// The standard table of the seven rounding modes, rounding to no decimals.
TEST(DecimalTest, RoundsToIntegerWithEveryMode) {
    const std::string_view inputs[] = {"5.5",  "2.5",  "1.6",  "1.1",  "1.0",
                                       "-1.0", "-1.1", "-1.6", "-2.5", "-5.5"};
    const std::pair<RoundingMode, std::array<std::string_view, 10>> table[] = {
        {RoundingMode::UP, {"6", "3", "2", "2", "1", "-1", "-2", "-2", "-3", "-6"}},
        {RoundingMode::DOWN, {"5", "2", "1", "1", "1", "-1", "-1", "-1", "-2", "-5"}},
        {RoundingMode::CEILING, {"6", "3", "2", "2", "1", "-1", "-1", "-1", "-2", "-5"}},
        {RoundingMode::FLOOR, {"5", "2", "1", "1", "1", "-1", "-2", "-2", "-3", "-6"}},
        {RoundingMode::HALF_UP, {"6", "3", "2", "1", "1", "-1", "-1", "-2", "-3", "-6"}},
        {RoundingMode::HALF_DOWN, {"5", "2", "2", "1", "1", "-1", "-1", "-2", "-2", "-5"}},
        {RoundingMode::HALF_EVEN, {"6", "2", "2", "1", "1", "-1", "-1", "-2", "-2", "-6"}},
    };
    for (const auto& [mode, expected] : table) {
        for (size_t i = 0; i < std::size(inputs); ++i) {
            EXPECT_EQ(number(inputs[i]).setScale(0, mode).toPlainString(), expected[i])
                << inputs[i] << " mode " << static_cast<int>(mode);
        }
    }
}

struct RescaleCase {
    std::string_view value;
    int scale;
    RoundingMode mode;
    std::string_view expected;
};

TEST(DecimalTest, RescalesWithCarriesTiesAndLargeValues) {
    const RescaleCase cases[] = {
        {"9.995", 2, RoundingMode::HALF_UP, "10.00"},
        {"9.995", 2, RoundingMode::HALF_EVEN, "10.00"},
        {"9.985", 2, RoundingMode::HALF_EVEN, "9.98"},
        {"-9.995", 2, RoundingMode::HALF_UP, "-10.00"},
        {"-9.995", 2, RoundingMode::HALF_DOWN, "-9.99"},
        {"99.9999", 0, RoundingMode::UP, "100"},
        {"-0.005", 2, RoundingMode::HALF_UP, "-0.01"},
        {"-0.005", 2, RoundingMode::HALF_EVEN, "0.00"},
        {"-0.004", 2, RoundingMode::HALF_UP, "0.00"},
        {"-0.001", 2, RoundingMode::FLOOR, "-0.01"},
        {"-0.001", 2, RoundingMode::CEILING, "0.00"},
        {"0.0001", 2, RoundingMode::UP, "0.01"},
        {"-3.14159", 2, RoundingMode::HALF_UP, "-3.14"},
        {"-3.14159", 2, RoundingMode::CEILING, "-3.14"},
        {"-3.14159", 2, RoundingMode::FLOOR, "-3.15"},
        {"1.2345", 2, RoundingMode::HALF_UP, "1.23"},
        {"1.5", 3, RoundingMode::HALF_UP, "1.500"},
        {"1E3", 2, RoundingMode::HALF_UP, "1000.00"},
        {"123456789012345678901234567890.125", 2, RoundingMode::HALF_EVEN,
         "123456789012345678901234567890.12"},
        {"123456789012345678901234567890.125", 2, RoundingMode::HALF_UP,
         "123456789012345678901234567890.13"},
        {"99999999999999999999.9999999", 7, RoundingMode::UP, "99999999999999999999.9999999"},
        {"99999999999999999999.99999995", 7, RoundingMode::HALF_UP,
         "100000000000000000000.0000000"},
        {"1E-10000", 7, RoundingMode::UP, "0.0000001"},
        {"1E-10000", 7, RoundingMode::HALF_UP, "0.0000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(number(c.value).setScale(c.scale, c.mode).toPlainString(), c.expected)
            << c.value << " to " << c.scale;
    }
}

TEST(DecimalTest, MultipliesExactlyAddingScales) {
    const std::tuple<std::string_view, std::string_view, std::string_view> cases[] = {
        {"1.5", "2", "3.0"},
        {"1.5", "2.00", "3.000"},
        {"1E3", "2", "2000"},
        {"-1.5", "-2", "3.0"},
        {"2.5E-1", "4", "1.00"},
        {"12.34", "1000", "12340.00"},
        {"-0.001", "1000", "-1.000"},
        {"99999999999999999999", "99999999999999999999",
         "9999999999999999999800000000000000000001"},
    };
    for (const auto& [a, b, product] : cases) {
        EXPECT_EQ(number(a).multiply(number(b)).toPlainString(), product) << a << " * " << b;
    }
}

struct DivideCase {
    std::string_view dividend, divisor;
    int scale;
    RoundingMode mode;
    std::string_view expected;
};

TEST(DecimalTest, DividesDirectlyToTheScaleRoundingOnce) {
    const DivideCase cases[] = {
        {"10", "3", 2, RoundingMode::HALF_UP, "3.33"},
        {"10", "2", 2, RoundingMode::HALF_UP, "5.00"},
        {"2", "3", 2, RoundingMode::UP, "0.67"},
        {"-2", "3", 2, RoundingMode::FLOOR, "-0.67"},
        {"-2", "3", 2, RoundingMode::CEILING, "-0.66"},
        {"1", "8", 2, RoundingMode::HALF_EVEN, "0.12"},
        {"3", "8", 2, RoundingMode::HALF_EVEN, "0.38"},
        {"1", "-8", 2, RoundingMode::HALF_UP, "-0.13"},
        {"-1", "-8", 2, RoundingMode::HALF_DOWN, "0.12"},
        // Just above and just below a tie: rounding an intermediate quotient would get these wrong.
        {"1", "7.99999999999", 2, RoundingMode::HALF_DOWN, "0.13"},
        {"1", "8.00000000001", 2, RoundingMode::HALF_UP, "0.12"},
        {"1E3", "3", 2, RoundingMode::HALF_UP, "333.33"},
        {"12.345", "0.001", 0, RoundingMode::HALF_UP, "12345"},
        {"0", "7", 3, RoundingMode::UP, "0.000"},
        {"123456789012345678901234567890", "7", 1, RoundingMode::HALF_EVEN,
         "17636684144620811271604938270.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(number(c.dividend).divide(number(c.divisor), c.scale, c.mode).toPlainString(),
                  c.expected)
            << c.dividend << " / " << c.divisor;
    }
    EXPECT_THROW(number("1").divide(number("0.0"), 2, RoundingMode::HALF_UP), std::domain_error);
}

TEST(DecimalTest, ComparesNumericallyAcrossScales) {
    EXPECT_EQ(number("2.0").compareTo(number("2.00")), 0);
    EXPECT_EQ(number("-1").compareTo(number("1")), -1);
    EXPECT_EQ(number("1E3").compareTo(number("999.9999")), 1);
    EXPECT_EQ(number("0.2").compareTo(number("0.5")), -1);
    EXPECT_EQ(number("10.2").subtract(number("10.0")).abs().toPlainString(), "0.2");
    EXPECT_EQ(number("10.0").subtract(number("10.6")).toPlainString(), "-0.6");
}

}  // namespace
}  // namespace scalino
