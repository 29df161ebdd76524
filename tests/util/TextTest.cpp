#include "util/Text.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

TEST(TextTest, ReadableFormShowsEveryNonPrintableByteAsItsCode) {
    EXPECT_EQ(readableForm(""), "");
    EXPECT_EQ(readableForm("ST,+12.5 g ~"), "ST,+12.5 g ~");
    EXPECT_EQ(readableForm("12.3\r\n"), "12.3<13><10>");
    EXPECT_EQ(readableForm(std::string("\0\x7f\xb0\xff", 4)), "<0><127><176><255>");
}

TEST(TextTest, ConvertsBetweenBytesAndUtf8) {
    EXPECT_EQ(latin1ToUtf8("21\xb0"
                           "C"),
              "21\xc2\xb0"
              "C");
    std::string bytes;
    EXPECT_TRUE(utf8ToLatin1("\xc3\xa9kg", bytes));
    EXPECT_EQ(bytes, "\xe9kg");
    EXPECT_FALSE(utf8ToLatin1("\xe2\x82\xac", bytes));  // euro sign, above 255
    for (std::string_view bad :
         {"\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf8\x88\x80\x80\x80", "\x80"})
        EXPECT_FALSE(decodeUtf8(bad).has_value()) << readableForm(bad);
    EXPECT_EQ(decodeUtf8("a\xf0\x9f\x98\x80")->back(), U'\U0001F600');
}

TEST(TextTest, ParsesIntegersAsAStandardParserDoes) {
    EXPECT_EQ(parseInt("007"), 7);
    EXPECT_EQ(parseInt("+5"), 5);
    EXPECT_EQ(parseInt("-0"), 0);
    EXPECT_EQ(parseInt("2147483647"), 2147483647);
    for (std::string_view bad :
         {"", "+", "-", " 1", "1 ", "1.0", "2147483648", "+-1", "1e3", "0x1"})
        EXPECT_FALSE(parseInt(bad).has_value()) << bad;
}

}  // namespace
}  // namespace scalino
