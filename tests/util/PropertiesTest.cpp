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

struct ReadCase {
    std::string name, text;
    Entries expected;
};

TEST(PropertiesTest, LineEndsAndBackslashesAtTheEndOfALine) {
    const ReadCase cases[] = {
        {"escaped backslash ends the value", "a=x\\\\\nb=y\n", {{"a", "x\\"}, {"b", "y"}}},
        {"three backslashes continue", "a=x\\\\\\\n  y\n", {{"a", "x\\y"}}},
        {"continuation in a CRLF file",
         "key=a\\\r\n  b\r\nnext=c\r\n",
         {{"key", "ab"}, {"next", "c"}}},
        {"continuation in a CR file", "key=a\\\r  b\rnext=c", {{"key", "ab"}, {"next", "c"}}},
        {"continuation at the end of the text", "a=x\\", {{"a", "x"}}},
        {"continued comment is no continuation", "# note\\\na=1\n", {{"a", "1"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseProperties(c.text), c.expected) << c.name;
}

struct MalformedCase {
    std::string name, text, message;
};

TEST(PropertiesTest, AMalformedEscapeIsReportedWithItsLine) {
    const MalformedCase cases[] = {
        {"bad digit", "a=1\nb=\\u12x4\n", "malformed \\uXXXX escape on line 2"},
        {"too short at the end", "a=\\u12", "malformed \\uXXXX escape on line 1"},
        {"after a CRLF continuation", "x=1\r\nkey=a\\\r\n  \\u00zz\r\n",
         "malformed \\uXXXX escape on line 3"},
        {"high surrogate before a letter", "a=\\uD800x\n",
         "unpaired surrogate escape \\uD800 on line 1"},
        {"high surrogate at the end", "a=1\nb=\\uDBFF",
         "unpaired surrogate escape \\uDBFF on line 2"},
        {"two high surrogates", "a=\\uD800\\uD800", "unpaired surrogate escape \\uD800 on line 1"},
        {"high surrogate, text, low surrogate", "a=\\uD834x\\uDD1E",
         "unpaired surrogate escape \\uD834 on line 1"},
        {"high surrogate before another escape", "a=\\uD834\\n",
         "unpaired surrogate escape \\uD834 on line 1"},
        {"lone low surrogate", "a=\\uDC00", "unpaired surrogate escape \\uDC00 on line 1"},
        {"in a key", "\\uD800=v", "unpaired surrogate escape \\uD800 on line 1"},
        {"on a continued line of a CRLF file", "x=1\r\ny=a\\\r\n b\\\r\n c\\uDC00\r\n",
         "unpaired surrogate escape \\uDC00 on line 4"},
    };
    for (const auto& c : cases) {
        try {
            const auto entries = parseProperties(c.text);
            ADD_FAILURE() << c.name << ": read as " << entries.size() << " entries";
        } catch (const PropertiesSyntaxError& error) {
            EXPECT_EQ(std::string(error.what()), c.message) << c.name;
        }
    }
}

TEST(PropertiesTest, ASurrogatePairMaySpanAContinuation) {
    EXPECT_EQ(parseProperties("a=\\uD834\\\n   \\uDD1E\n"), (Entries{{"a", "\xF0\x9D\x84\x9E"}}));
}

}  // namespace
}  // namespace scalino
