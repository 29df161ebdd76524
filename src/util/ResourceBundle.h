#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace scalino {

class MissingResourceException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A language and optional country, as in "de_DE"; the empty locale is the root (English).
struct Locale {
    std::string language;
    std::string country;

    // From LC_ALL, LC_MESSAGES or LANG ("de_DE.UTF-8" gives de, DE; "C" and "POSIX" the root).
    static Locale fromEnvironment();
    static Locale parse(std::string_view tag);
};

// User-visible texts by key, from the properties files compiled into the program. A bundle
// "scalino.worker.WorkerBundle" for locale de_DE looks a key up in WorkerBundle_de_DE, then
// WorkerBundle_de, then WorkerBundle; a key none of them has throws MissingResourceException.
class ResourceBundle {
public:
    // The bundle for the process's locale (from the environment, read once).
    static const ResourceBundle& getBundle(std::string_view baseName);
    static const ResourceBundle& getBundle(std::string_view baseName, const Locale& locale);

    const std::string& getString(std::string_view key) const;
    bool containsKey(std::string_view key) const;
    // Every key of this bundle and its parents.
    std::vector<std::string> keys() const;
    const std::string& baseName() const { return baseName_; }

private:
    ResourceBundle(std::string baseName, std::map<std::string, std::string, std::less<>> texts,
                   const ResourceBundle* parent);
    static std::unique_ptr<ResourceBundle> load(const std::string& baseName, const Locale& locale);

    std::string baseName_;
    std::map<std::string, std::string, std::less<>> texts_;
    const ResourceBundle* parent_;
};

// Replaces {0}, {1}, ... in pattern by the arguments; other text is kept as it stands.
std::string formatMessage(std::string_view pattern, const std::vector<std::string>& arguments);

}  // namespace scalino
