#include "util/ResourceBundle.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <set>

#include "util/EmbeddedResources.h"
#include "util/Properties.h"

namespace scalino {

Locale Locale::parse(std::string_view tag) {
    tag = tag.substr(0, tag.find_first_of(".@"));
    if (tag.empty() || tag == "C" || tag == "POSIX") return {};
    const size_t separator = tag.find_first_of("_-");
    Locale locale;
    locale.language = std::string(tag.substr(0, separator));
    if (separator != std::string_view::npos)
        locale.country = std::string(tag.substr(separator + 1));
    return locale;
}

Locale Locale::fromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return parse(value);
    }
    return {};
}

ResourceBundle::ResourceBundle(std::string baseName,
                               std::map<std::string, std::string, std::less<>> texts,
                               const ResourceBundle* parent)
    : baseName_(std::move(baseName)), texts_(std::move(texts)), parent_(parent) {}

const ResourceBundle& ResourceBundle::getBundle(std::string_view baseName) {
    static const Locale processLocale = Locale::fromEnvironment();
    return getBundle(baseName, processLocale);
}

const ResourceBundle& ResourceBundle::getBundle(std::string_view baseName, const Locale& locale) {
    // Bundles are immutable once loaded and live as long as the process.
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<ResourceBundle>, std::less<>> cache;
    const std::string cacheKey =
        std::string(baseName) + '|' + locale.language + '_' + locale.country;
    {
        std::lock_guard lock(mutex);
        if (auto it = cache.find(cacheKey); it != cache.end()) return *it->second;
    }
    auto bundle = load(std::string(baseName), locale);
    std::lock_guard lock(mutex);
    auto [it, inserted] = cache.emplace(cacheKey, std::move(bundle));
    return *it->second;
}

std::unique_ptr<ResourceBundle> ResourceBundle::load(const std::string& baseName,
                                                     const Locale& locale) {
    std::string path = baseName;
    std::replace(path.begin(), path.end(), '.', '/');
    std::string suffix;
    const ResourceBundle* parent = nullptr;
    if (!locale.country.empty()) {
        suffix = '_' + locale.language + '_' + locale.country;
        parent = &getBundle(baseName, Locale{locale.language, ""});
    } else if (!locale.language.empty()) {
        suffix = '_' + locale.language;
        parent = &getBundle(baseName, Locale{});
    }
    const auto content = embeddedResource(path + suffix + ".properties");
    if (!content && parent == nullptr) {
        throw MissingResourceException("Can't find bundle for base name " + baseName);
    }
    std::map<std::string, std::string, std::less<>> texts;
    if (content) {
        for (auto& [key, value] : parseProperties(*content))
            texts[key] = std::move(value);
    }
    return std::unique_ptr<ResourceBundle>(new ResourceBundle(baseName, std::move(texts), parent));
}

const std::string& ResourceBundle::getString(std::string_view key) const {
    for (const ResourceBundle* bundle = this; bundle != nullptr; bundle = bundle->parent_) {
        if (auto it = bundle->texts_.find(key); it != bundle->texts_.end()) return it->second;
    }
    throw MissingResourceException("Can't find resource for bundle " + baseName_ + ", key " +
                                   std::string(key));
}

bool ResourceBundle::containsKey(std::string_view key) const {
    for (const ResourceBundle* bundle = this; bundle != nullptr; bundle = bundle->parent_) {
        if (bundle->texts_.contains(key)) return true;
    }
    return false;
}

std::vector<std::string> ResourceBundle::keys() const {
    std::set<std::string> all;
    for (const ResourceBundle* bundle = this; bundle != nullptr; bundle = bundle->parent_) {
        for (const auto& entry : bundle->texts_)
            all.insert(entry.first);
    }
    return {all.begin(), all.end()};
}

std::string formatMessage(std::string_view pattern, const std::vector<std::string>& arguments) {
    std::string out;
    size_t i = 0;
    while (i < pattern.size()) {
        const size_t open = pattern.find('{', i);
        const size_t close = open == std::string_view::npos ? open : pattern.find('}', open);
        if (close == std::string_view::npos) break;
        out += pattern.substr(i, open - i);
        const std::string_view index = pattern.substr(open + 1, close - open - 1);
        size_t n = 0;
        const bool numeric = !index.empty() && index.size() < 4 &&
                             std::all_of(index.begin(), index.end(), [&](char c) {
                                 return c >= '0' && c <= '9' && ((n = n * 10 + (c - '0')), true);
                             });
        if (numeric && n < arguments.size()) {
            out += arguments[n];
        } else {
            out += pattern.substr(open, close - open + 1);
        }
        i = close + 1;
    }
    out += pattern.substr(i);
    return out;
}

}  // namespace scalino
