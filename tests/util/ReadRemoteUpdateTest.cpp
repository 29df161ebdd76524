#include "util/ReadRemoteUpdate.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

const char* const kDocument =
    "<?xml version=\"1.0\"?>\r\n"
    "<versions>\r\n"
    "  <version2>2017.1.3.0</version2>\r\n"
    "  <version2_en>2017.1.2.0</version2_en>\n"
    "  <version2_fr>2017.1.\n1.0</version2_fr>\r"
    "</versions>\n";

TEST(ReadRemoteUpdateTest, FindsTheElementOfTheLanguageWithLineEndsDropped) {
    struct Case {
        const char* element;
        const char* language;
        const char* expected;
    };
    for (const Case& c : {
             Case{"version2", "en", "2017.1.2.0"},
             Case{"version2", "fr", "2017.1.1.0"},  // the lines are joined
             Case{"version2", "", "2017.1.3.0"},
             Case{"version2", "de", ""},
             Case{"versions", "",
                  "  <version2>2017.1.3.0</version2>  <version2_en>2017.1.2.0"
                  "</version2_en>  <version2_fr>2017.1.1.0</version2_fr>"},
         }) {
        const ReadRemoteUpdate update(kDocument, "2017.1.1.0", c.language);
        EXPECT_EQ(update.findXML(c.element, c.language), c.expected)
            << c.element << " " << c.language;
    }
}

TEST(ReadRemoteUpdateTest, ExtractsNothingWhenTheTagsAreNotInOrder) {
    struct Case {
        const char* content;
        const char* expected;
    };
    for (const Case& c : {
             Case{"<v>1.0</v>", "1.0"},
             Case{"<v></v>", ""},
             Case{"<v>1.0", ""},                   // no closing tag
             Case{"1.0</v>", ""},                  // no opening tag
             Case{"x</v><v>1.0</v>", ""},          // the first closing tag comes first
             Case{"<v>1.0</v><v>2.0</v>", "1.0"},  // the first element wins
             Case{"<v>a<v>b</v>", "a<v>b"},
             Case{"", ""},
         }) {
        EXPECT_EQ(ReadRemoteUpdate::findXML(c.content, "v", ""), c.expected) << c.content;
    }
}

TEST(ReadRemoteUpdateTest, ReportsANewerVersionOnlyForTheUsersLanguage) {
    struct Case {
        const char* language;
        const char* current;
        const char* remote;
        bool newer;
    };
    for (const Case& c : {
             Case{"en", "2017.1.1.0", "2017.1.2.0", true},
             Case{"en", "2017.1.2.0", "2017.1.2.0", false},
             Case{"de", "2017.1.1.0", "", false},  // no version2_de
             Case{"", "2017.1.1.0", "2017.1.3.0", true},
             Case{"fr", "2017.1.1.0", "2017.1.1.0", false},
         }) {
        const ReadRemoteUpdate update(kDocument, c.current, c.language);
        EXPECT_EQ(update.getRemoteVersion(), c.remote) << c.language;
        EXPECT_EQ(update.newerVersionAvailable(), c.newer) << c.language << " " << c.current;
        EXPECT_EQ(update.getCurrentVersion(), c.current);
    }
}

struct VersionCase {
    const char* remote;
    const char* current;
    bool newer;
};

void expectComparisons(std::initializer_list<VersionCase> cases) {
    for (const VersionCase& c : cases) {
        EXPECT_EQ(ReadRemoteUpdate::compareVersions(c.remote, c.current), c.newer)
            << "remote " << c.remote << " current " << c.current;
    }
}

TEST(ReadRemoteUpdateTest, ComparesFourPartVersionsFromTheLeft) {
    expectComparisons({
        {"2017.1.2.0", "2017.1.1.0", true},
        {"2017.1.1.0", "2017.1.1.0", false},
        {"2018.0.0.0", "2017.9.9.9", true},
        {"2016.12.1.0", "2017.1.1.0", false},
        {"2017.1.1.1", "2017.1.1.0", true},
        {"2017.1.1.0", "2017.1.1.1", false},
        {"2017.10.1.0", "2017.9.1.0", true},   // as integers, not as texts
        {"2017.01.1.0", "2017.1.1.0", false},  // equal as integers
        {"2017.2.0.0", "2017.1.99.99", true},
    });
}

TEST(ReadRemoteUpdateTest, ComparesVersionsWithAtMostOneDotAsDecimalNumbers) {
    expectComparisons({
        {"2.1", "2.05", true},
        {"2.05", "2.1", false},
        {"2.10", "2.1", false},  // the same number
        {"3", "2.9", true},
        {"10", "9", true},
        {"2017.1.1.0", "2.05", true},   // a four-part version against a short one
        {"2018", "2017.1.1.0", false},  // the running version is no decimal number
        {"2.", "2.0", false},
        {".5", "0.4", false},
    });
}

TEST(ReadRemoteUpdateTest, NeverCallsAnUnexpectedShapeNewer) {
    expectComparisons({
        {"", "2017.1.1.0", false},
        {"2017.1.2.0", "", false},
        {"2017.1.2", "2017.1.1.0", false},  // two dots
        {"2017.1.2.0", "2017.1.1", false},
        {"2017.1.2.0.1", "2017.1.1.0", false},  // more than three dots
        {"2017.1.1.0", "2017.1.1.0.5", false},
        {"2017.1.x.0", "2017.1.1.0", false},  // not numeric
        {"2017.1.2.0", "2017.1.x.0", false},
        {"2017..2.0", "2017.1.1.0", false},  // an empty part
        {"2017.1.2.", "2017.1.1.0", false},
        {".2017.1.2", "2017.1.1.0", false},
        {" 2017.1.2.0", "2017.1.1.0", false},  // spaces
        {"+2017.1.2.0", "2017.1.1.0", false},  // a sign
        {"-3", "2.05", false},
        {"2.1x", "2.05", false},
        {"abc", "2.05", false},
        {"2017.1.2.0", "2017.1.1.0\n", false},
        {"\xd9\xa2.1", "1.0", false},  // a digit of another script
    });
}

TEST(ReadRemoteUpdateTest, ComparesIntegersOfAnyLengthExactly) {
    expectComparisons({
        {"2017.1.99999999999999999999999999.0", "2017.1.1.0", true},
        {"2017.1.1.0", "2017.1.99999999999999999999999999.0", false},
        {"2017.1.100000000000000000000000000.0", "2017.1.99999999999999999999999999.0", true},
        {"99999999999999999999999.5", "99999999999999999999999.49999999999999999999", true},
        {"1.00000000000000000000000000000000001", "1", true},
        {"000000000000000000000000000002.1", "2.05", true},
    });
}

}  // namespace
}  // namespace scalino
