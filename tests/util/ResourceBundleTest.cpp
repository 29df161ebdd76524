#include "util/ResourceBundle.h"

#include <gtest/gtest.h>

namespace scalino {
namespace {

constexpr std::string_view kWorker = "scalino.worker.WorkerBundle";

TEST(ResourceBundleTest, LooksKeysUpThroughTheLocaleChain) {
    const ResourceBundle& root = ResourceBundle::getBundle(kWorker, Locale{});
    const ResourceBundle& german = ResourceBundle::getBundle(kWorker, Locale::parse("de_AT.UTF-8"));
    const ResourceBundle& unknown = ResourceBundle::getBundle(kWorker, Locale::parse("xx_YY"));
    EXPECT_FALSE(root.getString("stopped").empty());
    // A locale without its own file reads the parent's texts.
    EXPECT_EQ(unknown.getString("stopped"), root.getString("stopped"));
    EXPECT_FALSE(german.getString("stopped").empty());
    EXPECT_EQ(&ResourceBundle::getBundle(kWorker, Locale{}), &root);  // loaded once
}

TEST(ResourceBundleTest, AMissingKeyOrBundleThrows) {
    const ResourceBundle& root = ResourceBundle::getBundle(kWorker, Locale{});
    EXPECT_THROW(root.getString("no.such.key"), MissingResourceException);
    EXPECT_FALSE(root.containsKey("no.such.key"));
    EXPECT_THROW(ResourceBundle::getBundle("scalino.NoSuchBundle", Locale{}),
                 MissingResourceException);
}

TEST(ResourceBundleTest, LocaleTagsFromTheEnvironment) {
    const Locale locale = Locale::parse("fr_CA.UTF-8@euro");
    EXPECT_EQ(locale.language, "fr");
    EXPECT_EQ(locale.country, "CA");
    EXPECT_TRUE(Locale::parse("C.UTF-8").language.empty());
    EXPECT_TRUE(Locale::parse("POSIX").language.empty());
}

TEST(ResourceBundleTest, FormatsNumberedArguments) {
    EXPECT_EQ(formatMessage("Port {0} opened at {1} bit/s", {"/dev/ttyUSB0", "9600"}),
              "Port /dev/ttyUSB0 opened at 9600 bit/s");
    EXPECT_EQ(formatMessage("{1}-{0}-{1}", {"a", "b"}), "b-a-b");
    EXPECT_EQ(formatMessage("{2} {x} {", {"a"}), "{2} {x} {");
}

}  // namespace
}  // namespace scalino
