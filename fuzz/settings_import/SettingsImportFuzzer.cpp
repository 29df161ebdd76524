// Importing a settings document into a file-backed store that already holds other settings.
// A refused document (InvalidPreferencesFormatException, or BackingStoreException) leaves the
// settings file byte for byte as it was and no other file behind. An accepted one stores every
// entry exactly as the document's attribute reads without entity declarations (a DOCTYPE's
// entities are never resolved, nor is a file they name read), a fresh reader of the file sees
// the same, and the entries the document does not name keep their values. Any other exception,
// a crash, a hang or unbounded memory is a finding.
//
// Input: the document.

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "FuzzSupport.h"
#include "config/SettingsStore.h"
#include "prefs/BackingStoreException.h"
#include "prefs/FilePreferencesFactory.h"

namespace {

using scalino::fuzz::shown;
namespace fs = std::filesystem;

// (node path below the root, "" for the root; key) -> value
using Entries = std::map<std::pair<std::string, std::string>, std::string>;

// A file the seed documents name in external entities; its text must never reach the store.
constexpr const char* kEntityFile = "/tmp/scalino-fuzz-entity.txt";
constexpr std::string_view kEntitySecret = "ENTITY-FILE-TEXT-4d1f";

// What a store holds before the import: values of the settings node, some outside ASCII, and
// values of another program.
const Entries kStoredBefore = {
    {{"/com/velmora/Scalino", "removeCharacters"}, "\xC2\xB0kg"},
    {{"/com/velmora/Scalino", "customRegEx"}, "N\\s+([0-9.]+) kg"},
    {{"/com/velmora/Scalino", "instrument"}, "KERN_MPS"},
    {{"/com/velmora/Scalino/sub", "city"}, "K\xC3\xB6ln"},
    {{"/org/other/program", "path"}, "C:\\Temp\\x=1#2!"},
    {{"", "topLevel"}, "\xE6\x97\xA5\xE6\x9C\xAC"},
};

scalino::Preferences& nodeAt(scalino::Preferences& root, const std::string& path) {
    return path.empty() ? root : root.node(path.substr(1));
}

// The entries of an accepted document, as the attributes read without any DTD processing.
void collect(pugi::xml_node element, const std::string& path, Entries& out) {
    for (pugi::xml_node map : element.children("map")) {
        for (pugi::xml_node entry : map.children("entry"))
            out[{path, entry.attribute("key").value()}] = entry.attribute("value").value();
    }
    for (pugi::xml_node node : element.children("node"))
        collect(node, path + "/" + node.attribute("name").value(), out);
}

Entries documentEntries(std::string_view document) {
    pugi::xml_document parsed;
    if (!parsed.load_buffer(document.data(), document.size(), pugi::parse_default)) {
        scalino::fuzz::fail("an accepted document is not well-formed XML: " + shown(document));
    }
    Entries entries;
    collect(parsed.child("preferences").child("root"), "", entries);
    return entries;
}

std::set<std::string> folderListing(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
        names.insert(item.path().filename().string());
    return names;
}

class Harness {
public:
    Harness()
        : scratch_("settings_import"),
          document_(scratch_.path() / "document.xml"),
          storeFolder_(scratch_.path() / "store"),
          store_(storeFolder_ / "prefs.txt") {
        fs::create_directory(storeFolder_);
        if (!fs::exists(kEntityFile)) scalino::fuzz::writeWholeFile(kEntityFile, kEntitySecret);
        {
            scalino::FilePreferencesFactory factory(store_);
            for (const auto& [where, value] : kStoredBefore)
                nodeAt(factory.userRoot(), where.first).put(where.second, value);
            factory.userRoot().flush();
        }
        before_ = scalino::fuzz::readWholeFile(store_);
        listingBefore_ = folderListing(storeFolder_);
    }

    void run(std::string_view document) {
        scalino::fuzz::writeWholeFile(document_, document);
        bool refused = false;
        {
            scalino::FilePreferencesFactory factory(store_);
            try {
                scalino::importConfig(document_, factory.userRoot());
            } catch (const scalino::InvalidPreferencesFormatException&) {
                refused = true;
            } catch (const scalino::BackingStoreException&) {
                refused = true;
            }
        }
        FUZZ_REQUIRE(folderListing(storeFolder_) == listingBefore_,
                     "the import left other files next to the settings file");
        if (refused) {
            FUZZ_REQUIRE(scalino::fuzz::readWholeFile(store_) == before_,
                         "a refused document changed the settings file");
            return;
        }
        checkStored(document);
        scalino::fuzz::writeWholeFile(store_, before_);
    }

private:
    void checkStored(std::string_view document) {
        Entries expected = kStoredBefore;
        for (auto& [where, value] : documentEntries(document))
            expected[where] = value;
        const bool documentNamesSecret = document.find(kEntitySecret) != std::string_view::npos;
        scalino::FilePreferencesFactory fresh(store_);
        for (const auto& [where, value] : expected) {
            const auto stored = nodeAt(fresh.userRoot(), where.first).get(where.second);
            FUZZ_REQUIRE(stored == value, "entry " + shown(where.first) + " " +
                                              shown(where.second) + " should hold " + shown(value) +
                                              " but holds " +
                                              (stored ? shown(*stored) : "nothing"));
            FUZZ_REQUIRE(documentNamesSecret || stored->find(kEntitySecret) == std::string::npos,
                         "an entity's file was read into " + shown(where.second));
        }
    }

    scalino::fuzz::ScratchFolder scratch_;
    fs::path document_, storeFolder_, store_;
    std::string before_;
    std::set<std::string> listingBefore_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Harness harness;
    harness.run(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
