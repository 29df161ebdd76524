#include "worker/Ignorer.h"

#include <gtest/gtest.h>

#include "support/ConfigBuilder.h"

namespace scalino {
namespace {

using std::chrono::milliseconds;
using test::configWith;

const DataLine::Instant kStart{};

// Feeds (value, milliseconds since start) readings and returns what remains to be typed.
std::vector<std::string> typed(const Config& config,
                               std::initializer_list<std::pair<std::string_view, int>> readings) {
    Ignorer ignorer(config);
    std::vector<std::string> result;
    int count = 0;
    for (const auto& [value, at] : readings) {
        DataLine line("raw\r", std::string(value), ++count, false, kStart + milliseconds(at));
        ignorer.process(line);
        result.push_back(line.getProcessedData());
    }
    return result;
}

using Values = std::vector<std::string>;

TEST(IgnorerTest, WithoutLimitsEveryRepetitionIsSuppressed) {
    EXPECT_EQ(typed(configWith({}), {{"1.0", 0}, {"1.0", 5000}, {"1.00", 9000}, {"1.0", 99999}}),
              (Values{"1.0", "", "1.00", "1.0"}));
}

TEST(IgnorerTest, TimeLimitIncludesItsLastMillisecond) {
    const Config config = configWith({{"ignoreTimeLimit", "1000"}});
    EXPECT_EQ(typed(config, {{"5", 0}, {"5", 1000}, {"5", 2001}}), (Values{"5", "", "5"}));
    // Each repetition is measured from the previous one, suppressed or not.
    EXPECT_EQ(typed(config, {{"5", 0}, {"5", 900}, {"5", 1800}, {"5", 2700}}),
              (Values{"5", "", "", ""}));
}

TEST(IgnorerTest, DifferenceComparesNumbersWithCommaOrPoint) {
    const Config config = configWith({{"ignoreDifference", "0.5"}});
    EXPECT_EQ(typed(config, {{"10.0", 0}, {"10,2", 1}}), (Values{"10.0", ""}));
    EXPECT_EQ(typed(config, {{"10.0", 0}, {"10.6", 1}}), (Values{"10.0", "10.6"}));
    EXPECT_EQ(typed(config, {{"10.0", 0}, {"10.5", 1}, {"9.5", 2}}), (Values{"10.0", "", "9.5"}));
    // A value that is not a number is never within the tolerance.
    EXPECT_EQ(typed(config, {{"ERR", 0}, {"ERR", 1}}), (Values{"ERR", "ERR"}));
}

TEST(IgnorerTest, EmptyValuesPassAndDoNotBecomeTheReference) {
    EXPECT_EQ(typed(configWith({}), {{"7", 0}, {"", 1}, {"7", 2}, {"", 3}}),
              (Values{"7", "", "", ""}));
}

TEST(IgnorerTest, BarcodesAreComparedByTextWhateverTheDifference) {
    const Config config = configWith({{"instrument", "BARCODE"}, {"ignoreDifference", "0.5"}});
    EXPECT_EQ(typed(config, {{"4006381333931", 0}, {"4006381333932", 1}, {"4006381333932", 2}}),
              (Values{"4006381333931", "4006381333932", ""}));
}

}  // namespace
}  // namespace scalino
