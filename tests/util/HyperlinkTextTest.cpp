#include "util/HyperlinkText.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

using H = HyperlinkText;

TEST(HyperlinkTextTest, RecognisesAHyperlinkTextByAllFourMarkers) {
    struct Case {
        const char* text;
        bool hyperlink;
    };
    for (const Case& c : {
             Case{"<html><a href=\"https://x.org\">x</a></html>", true},
             Case{"</html>\">x<a href=\"<html>", true},  // in any order
             Case{"<html><a href=\"https://x.org\">x</a>", false},
             Case{"<a href=\"https://x.org\">x</a></html>", false},
             Case{"<html>https://x.org</html>", false},
             Case{"<html><a href=\"https://x.org</html>", false},
             Case{"<html><a href='https://x.org'>x</a></html>", false},
             Case{"https://x.org", false},
             Case{"", false},
         }) {
        EXPECT_EQ(H::containsHyperlink(c.text), c.hyperlink) << c.text;
    }
}

TEST(HyperlinkTextTest, TakesThePlainAddressOfTheFirstAnchor) {
    struct Case {
        const char* text;
        const char* link;
    };
    for (const Case& c : {
             Case{"<html><a href=\"https://x.org/a?b=1\">see</a></html>", "https://x.org/a?b=1"},
             Case{"<html>Go <a href=\"https://a.org\">a</a> or <a href=\"https://b.org\">b</a>"
                  "</html>",
                  "https://a.org"},
             Case{"<html><a href=\"\">empty</a></html>", ""},
             Case{"<html><a href=\"https://x.org</html>", ""},  // no HREF_END
             Case{"\"><html><a href=\"https://x.org\">x</a></html>", "https://x.org"},
             Case{"<html>\"><a href=\"https://x.org</html>", ""},  // the only "> before the anchor
             Case{"https://x.org", ""},
             Case{"", ""},
         }) {
        EXPECT_EQ(H::getPlainLink(c.text), c.link) << c.text;
    }
}

TEST(HyperlinkTextTest, BuildsLinkTextsThatReadBack) {
    EXPECT_EQ(H::htmlIfy(""), "<html></html>");
    EXPECT_EQ(H::htmlIfy("a <b>b</b>"), "<html>a <b>b</b></html>");
    EXPECT_EQ(H::linkIfy("https://x.org"), "<a href=\"https://x.org\">https://x.org</a>");
    for (const char* address : {"https://x.org", "https://x.org/version.xml?lang=de#top", ""}) {
        const std::string text = H::htmlIfy(H::linkIfy(address));
        EXPECT_TRUE(H::containsHyperlink(text)) << text;
        EXPECT_EQ(H::getPlainLink(text), address);
    }
    EXPECT_FALSE(H::containsHyperlink(H::linkIfy("https://x.org")));
}

}  // namespace
}  // namespace scalino
