#include "util/Properties.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(PropertiesTest, ReadsTheSeparatorsCommentsEscapesAndContinuations) {
    const std::string text =
        "# comment\n"
        "! another\n"
        "\n"
        "a=1\n"
        "  b : two words  \r\n"
        "c three\r"
        "d\\ e=f\\=g\\:h\n"
        "tabbed=\\tx\\n\n"
        "long=one, \\\n"
        "     two\n"
        "unicode=\\u00e9t\\u00E9 \\ud83d\\ude00\n"
        "utf8=caf\xc3\xa9\n"
        "empty=\n"
        "backslash=a\\\\b\n"
        "last=end";
    const Entries expected = {
        {"a", "1"},
        {"b", "two words  "},
        {"c", "three"},
        {"d e", "f=g:h"},
        {"tabbed", "\tx\n"},
        {"long", "one, two"},
        {"unicode", "\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80"},
        {"utf8", "caf\xc3\xa9"},
        {"empty", ""},
        {"backslash", "a\\b"},
        {"last", "end"},
    };
    EXPECT_EQ(parseProperties(text), expected);
}

TEST(PropertiesTest, NamesTheLineOfAMalformedEscape) {
    try {
        parseProperties("a=1\nb=\\u12x4\n");
        FAIL() << "no error";
    } catch (const PropertiesSyntaxError& error) {
        EXPECT_NE(std::string(error.what()).find("line 2"), std::string::npos) << error.what();
    }
}

}  // namespace
}  // namespace scalino
