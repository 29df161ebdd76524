// Every key the program looks up exists in every bundle it ships, and the translations carry
// exactly the keys of the English texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "config/ConfigHelper.h"
#include "config/Instrument.h"
#include "util/EmbeddedResources.h"
#include "util/Properties.h"

namespace scalino {
namespace {

// Bundle file path -> its keys.
std::map<std::string, std::set<std::string>> shippedBundles() {
    std::map<std::string, std::set<std::string>> bundles;
    for (std::string_view name : embeddedResourceNames()) {
        if (!name.ends_with(".properties")) continue;
        auto& keys = bundles[std::string(name)];
        for (const auto& entry : parseProperties(*embeddedResource(name)))
            keys.insert(entry.first);
    }
    return bundles;
}

// "scalino/worker/WorkerBundle_de.properties" -> "scalino/worker/WorkerBundle"
std::string family(const std::string& path) {
    std::string base = path.substr(0, path.size() - std::string(".properties").size());
    const size_t slash = base.rfind('/');
    const size_t underscore = base.find('_', slash == std::string::npos ? 0 : slash);
    return underscore == std::string::npos ? base : base.substr(0, underscore);
}

// Keys looked up in the sources: workerText("key"...), keyed("NAME", "key") and messageKey.
std::map<std::string, std::set<std::string>> keysUsedInSources() {
    const std::pair<std::regex, std::string> lookups[] = {
        {std::regex(R"re(workerText\(\s*"([^"]+)")re"), "scalino/worker/WorkerBundle"},
        {std::regex(R"re(keyed\(\s*"[^"]+",\s*"([^"]+)"\))re"), "scalino/config/ConfigBundle"},
        {std::regex(R"re(\.messageKey = "([^"]+)")re"), "scalino/config/ConfigBundle"},
    };
    std::map<std::string, std::set<std::string>> used;
    for (const auto& file : std::filesystem::recursive_directory_iterator(SCALINO_SOURCE_DIR)) {
        const auto extension = file.path().extension();
        if (extension != ".cpp" && extension != ".h") continue;
        std::ifstream in(file.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        for (const auto& [pattern, bundle] : lookups) {
            for (std::sregex_iterator it(source.begin(), source.end(), pattern), end; it != end;
                 ++it)
                used[bundle].insert((*it)[1]);
        }
    }
    return used;
}

TEST(BundleKeysTest, EveryKeyTheCodeUsesIsInEveryShippedBundle) {
    const auto bundles = shippedBundles();
    const auto used = keysUsedInSources();
    ASSERT_GE(used.at("scalino/worker/WorkerBundle").size(), 5u);
    ASSERT_GE(used.at("scalino/config/ConfigBundle").size(), 30u);
    for (const auto& [path, keys] : bundles) {
        auto it = used.find(family(path));
        if (it == used.end()) continue;
        for (const std::string& key : it->second)
            EXPECT_TRUE(keys.contains(key)) << path << ": " << key;
    }
}

TEST(BundleKeysTest, TranslationsHaveTheKeysOfTheEnglishTexts) {
    const auto bundles = shippedBundles();
    ASSERT_TRUE(bundles.contains("scalino/Scalino.properties"));
    for (const auto& [path, keys] : bundles) {
        const std::string english = family(path) + ".properties";
        ASSERT_TRUE(bundles.contains(english)) << path;
        EXPECT_EQ(keys, bundles.at(english)) << path;
    }
}

TEST(BundleKeysTest, DisplayTextsAndHintsResolveInEveryLocale) {
    using namespace ConfigHelper;
    for (Instrument instrument : values<Instrument>()) {
        EXPECT_NO_THROW(toString(instrument)) << name(instrument);
        EXPECT_NO_THROW(getDefaultMessage(instrument)) << name(instrument);
    }
    EXPECT_NO_THROW(toString(KeyboardType::GERMAN));
    EXPECT_NO_THROW(toString(StartWith::DELETE));
}

}  // namespace
}  // namespace scalino
