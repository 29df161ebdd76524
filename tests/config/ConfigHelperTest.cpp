#include "config/ConfigHelper.h"

#include <gtest/gtest.h>

namespace scalino::ConfigHelper {
namespace {

TEST(ConfigHelperTest, PositionalEnumerationsAcceptOnlyPositionsInTheirList) {
    EXPECT_TRUE(isValidPosition<BitRates>(0));
    EXPECT_EQ(textAt<BitRates>(0), "110");
    EXPECT_EQ(textAt<BitRates>(14), "921600");
    EXPECT_FALSE(isValidPosition<BitRates>(15));
    EXPECT_FALSE(isValidPosition<BitRates>(-1));
    EXPECT_EQ(textAt<BitRates>(15), "");
    EXPECT_EQ(textAt<BitRates>(-1), "");
    EXPECT_EQ(ordinal(getDefault<BitRates>()), 7);
    EXPECT_EQ(ordinal(getDefault<DataBits>()), 3);
    EXPECT_EQ(textAt<DataBits>(3), "8");
    EXPECT_FALSE(isValidPosition<DataBits>(4));
    EXPECT_FALSE(isValidPosition<StopBits>(2));
    EXPECT_TRUE(isValidPosition<Parity>(4));
    EXPECT_FALSE(isValidPosition<Parity>(5));
    EXPECT_EQ(toString(Parity::MARK), "MARK");  // no display text: the constant name
}

TEST(ConfigHelperTest, NamesAreExactAndCaseSensitive) {
    EXPECT_EQ(valueOf<RoundingMethod>("HALF_EVEN"), RoundingMethod::HALF_EVEN);
    EXPECT_EQ(valueOf<RoundingMethod>("half_even"), std::nullopt);
    EXPECT_EQ(valueOf<KeyboardType>("QUERTY"), KeyboardType::QUERTY);
    EXPECT_EQ(valueOf<KeyboardType>("QWERTY"), std::nullopt);
    EXPECT_FALSE(isValid<Sound>("Cowbell"));
    EXPECT_TRUE(isValid<Sound>("COWBELL"));
    EXPECT_EQ(name(StartWith::F12), "F12");
    EXPECT_EQ(ordinal(StartWith::F12), 18);
    EXPECT_EQ(values<StartWith>().size(), 19u);
    EXPECT_EQ(toString(RoundingMethod::HALF_DOWN), "half down");
    EXPECT_EQ(toString(Sound::OPEN_TRIANGLE), "Triangle");
}

TEST(ConfigHelperTest, InputTerminatorCodes) {
    EXPECT_TRUE(isValidInputTerminatorCode(255));
    EXPECT_TRUE(isValidInputTerminatorCode(0));
    EXPECT_FALSE(isValidInputTerminatorCode(256));
    EXPECT_FALSE(isValidInputTerminatorCode(-1));
    EXPECT_EQ(inputTerminatorWithCode(59), std::nullopt);
    EXPECT_EQ(inputTerminatorListText(59), "59");
    EXPECT_EQ(inputTerminatorListText(10), "10 <LF>");
    EXPECT_EQ(inputTerminatorWithCode(4), InputTerminator::EOT);
    EXPECT_EQ(kDefaultInputTerminatorCode, getCharacterCode(getDefault<InputTerminator>()));
}

struct ValidatorCase {
    bool (*isValid)(std::string_view);
    std::string_view text;
    bool acceptable;
};

TEST(ConfigHelperTest, KeyCodesOfTheStartAndEndKeys) {
    const std::pair<StartWith, int> startKeys[] = {
        {StartWith::NONE, 0},     {StartWith::TAB, 9},   {StartWith::ENTER, 10},
        {StartWith::RIGHT, 39},   {StartWith::DOWN, 40}, {StartWith::MULTIPLY, 106},
        {StartWith::DELETE, 127}, {StartWith::F1, 112},  {StartWith::F2, 113},
        {StartWith::F11, 122},    {StartWith::F12, 123},
    };
    for (const auto& [key, code] : startKeys)
        EXPECT_EQ(getKeyCode(key), code) << name(key);
    const std::pair<OutputTerminator, int> endKeys[] = {
        {OutputTerminator::NONE, 0},   {OutputTerminator::ENTER, 10}, {OutputTerminator::TAB, 9},
        {OutputTerminator::RIGHT, 39}, {OutputTerminator::DOWN, 40},
    };
    for (const auto& [key, code] : endKeys)
        EXPECT_EQ(getKeyCode(key), code) << name(key);
}

TEST(ConfigHelperTest, TextValidators) {
    const std::string longName(49, 'a');
    const ValidatorCase cases[] = {
        {Delay::isValid, "1000", true},
        {Delay::isValid, "1001", false},
        {Delay::isValid, "-1", false},
        {Delay::isValid, "", true},
        {Delay::isValid, "0", true},
        {Delay::isValid, "20ms", false},
        {XkbLayout::isValid, "", true},
        {XkbLayout::isValid, "de", true},
        {XkbLayout::isValid, "ch(fr)", true},
        {XkbLayout::isValid, "us(alt-intl)", true},
        {XkbLayout::isValid, "fr(bepo_afnor)", true},
        {XkbLayout::isValid, "ch(", false},
        {XkbLayout::isValid, "ch()", false},
        {XkbLayout::isValid, "(fr)", false},
        {XkbLayout::isValid, "de,us", false},
        {XkbLayout::isValid, "de fr", false},
        {XkbLayout::isValid, "../de", false},
        {XkbLayout::isValid, longName, false},
        {EditNumCharacters::isValid, "0", false},
        {EditNumCharacters::isValid, "1", true},
        {EditNumCharacters::isValid, "99", true},
        {EditNumCharacters::isValid, "100", false},
        {DecimalPlaces::isValid, "7", true},
        {DecimalPlaces::isValid, "8", false},
        {DecimalPlaces::isValid, "0", true},
        {DecimalPlaces::isValid, "-1", false},
        {DecimalPlaces::isValid, "2.0", false},
        {IgnoreTimeLimit::isValid, "0", false},
        {IgnoreTimeLimit::isValid, "1", true},
        {IgnoreTimeLimit::isValid, "", true},
        {IgnoreTimeLimit::isValid, "1.5", false},
        {IgnoreDifference::isValid, "0.0", false},
        {IgnoreDifference::isValid, "0.001", true},
        {IgnoreDifference::isValid, "-0.5", false},
        {IgnoreDifference::isValid, "0,5", false},
        {RemoveCharacters::isValid, "k\xe2\x82\xac", false},  // euro sign, code 8364
        {RemoveCharacters::isValid, "\xc3\xa9", true},        // e acute, code 233
        {RemoveCharacters::isValid, "", true},
        {CustomRegEx::isValid, "abc", false},
        {CustomRegEx::isValid, "([0-9]+", false},
        {CustomRegEx::isValid, R"([)](\d+))", false},
        {CustomRegEx::isValid, R"((\d+))", true},
        {CustomRegEx::isValid, "", true},
        {CustomRegEx::isValid, R"(\\(x))", true},  // "(" escaped: -1 < 4
        {CustomRegEx::isValid, "(\xe2\x82\xac)", false},
        {CustomRegEx::isValid,
         "(\xc2\xb0"
         "C)",
         true},
        // Zero is refused however it is written.
        {MathOperand::isValid, "0", false},
        {MathOperand::isValid, "0.0", false},
        {MathOperand::isValid, "00", false},
        {MathOperand::isValid, "-0", false},
        {MathOperand::isValid, "-0.000", false},
        {MathOperand::isValid, "0E5", false},
        {MathOperand::isValid, "0.001", true},
        {MathOperand::isValid, "-2.5", true},
        {MathOperand::isValid, "1E3", true},
        {MathOperand::isValid, "1,5", false},
        {MathOperand::isValid, "", true},
        {MathOperand::isValid, " 2", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.isValid(c.text), c.acceptable) << "'" << c.text << "'";
    EXPECT_EQ(Delay::getDefault(), "20");
    EXPECT_EQ(MathOperand::getDefault(), "");
}

}  // namespace
}  // namespace scalino::ConfigHelper
