#include "util/Regex.h"

#include <gtest/gtest.h>

#include <string>

namespace scalino {
namespace {

std::optional<std::string> firstGroup(std::string_view pattern, std::string_view subject) {
    Regex regex{pattern};
    RegexMatch match(regex);
    if (regex.find(subject, match) != Regex::Result::Found) return std::nullopt;
    auto group = match.group(1);
    return group ? std::optional<std::string>(*group) : std::nullopt;
}

TEST(RegexTest, FollowsTheConventionsOfInstrumentExpressions) {
    // Byte text: 0xB0 is one character, matched by its code and by ".".
    EXPECT_EQ(firstGroup(R"(([0-9]+)\xb0C)",
                         "temp 21\xb0"
                         "C\r"),
              "21");
    EXPECT_EQ(firstGroup("a(.)b",
                         "a\xb0"
                         "b"),
              "\xb0");
    // "." stops at line terminators; "\s" includes vertical tab and form feed.
    EXPECT_EQ(firstGroup("x(.*)", "x12\r\n"), "12");
    EXPECT_EQ(firstGroup(R"(a(\s+)b)", "a \t\v\f\r\nb"), " \t\v\f\r\n");
    // "^" is the start of the text, not of an inner line.
    EXPECT_EQ(firstGroup("^N(.)", "xx\nNa"), std::nullopt);
    // A closing bracket right after the opening one is a member of the class.
    EXPECT_EQ(firstGroup(R"(([]a]+))", "x]a]y"), "]a]");
    // Lazy quantifiers take the shortest match.
    EXPECT_EQ(firstGroup(R"(^N.*?(-?\s*[0-9]*[\.,]?[0-9]+)\s*kg)", "N 12 kg 34 kg"), " 12");
    EXPECT_EQ(firstGroup(R"((\d+))", "\xd9\xa3 7"), "7");  // only ASCII digits are \d
}

TEST(RegexTest, TellsMissingAndNonParticipatingGroupsApart) {
    Regex regex{"(a)|b"};
    RegexMatch match(regex);
    ASSERT_EQ(regex.find("xb", match), Regex::Result::Found);
    EXPECT_EQ(regex.groupCount(), 1);
    EXPECT_EQ(match.group(0), "b");
    EXPECT_EQ(match.group(1), std::nullopt);
    EXPECT_EQ(match.group(2), std::nullopt);
    EXPECT_EQ(regex.find("zz", match), Regex::Result::NotFound);
    EXPECT_EQ(match.group(0), std::nullopt);
}

TEST(RegexTest, StopsRunawayBacktrackingAndStillFindsValuesInLongLines) {
    Regex runaway{"^(a+)+$"};
    RegexMatch match(runaway);
    EXPECT_EQ(runaway.find(std::string(40, 'a') + "!", match), Regex::Result::LimitExceeded);

    Regex common{R"(([-+]?\s*[0-9]*[\.,]?[0-9]+))"};
    RegexMatch commonMatch(common);
    const std::string longLine = std::string(64 * 1024 - 10, 'x') + " 12.5 g\r";
    ASSERT_EQ(common.find(longLine, commonMatch), Regex::Result::Found);
    EXPECT_EQ(commonMatch.group(1), " 12.5");
}

TEST(RegexTest, ReportsSyntaxErrorsAndCharactersNoByteCanMatch) {
    EXPECT_THROW(Regex("([0-9]+"), RegexSyntaxError);
    EXPECT_EQ(patternFromUserText("(\xc2\xb0)"), "(\xb0)");  // U+00B0 becomes byte 0xB0
    EXPECT_THROW(patternFromUserText("(\xe2\x82\xac)"), RegexSyntaxError);  // the euro sign
    EXPECT_THROW(patternFromUserText("(\xff)"), RegexSyntaxError);          // not UTF-8
}

}  // namespace
}  // namespace scalino
