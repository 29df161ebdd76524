// The properties reader and writer: whatever text is read, writing its entries back and reading
// them again gives the same entries. Entries that are not well-formed UTF-8 come back with each
// stray byte as the character of the same code, as the writer documents, and then stay as they
// are. A text that is well-formed UTF-8 yields entries that are.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "util/Properties.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;
using scalino::fuzz::shown;

std::string written(const Entries& entries) {
    std::string text;
    for (const auto& [key, value] : entries)
        scalino::appendPropertiesLine(text, key, value);
    return text;
}

Entries readBack(const std::string& text, const char* round) {
    try {
        return scalino::parseProperties(text);
    } catch (const scalino::PropertiesSyntaxError& error) {
        scalino::fuzz::fail(std::string(round) + ": the writer's own text is refused: " +
                            error.what() + " in " + shown(text));
    }
}

std::string entryText(const std::pair<std::string, std::string>& entry) {
    return shown(entry.first) + "=" + shown(entry.second);
}

void requireSameEntries(const Entries& expected, const Entries& actual, const char* round) {
    FUZZ_REQUIRE(expected.size() == actual.size(),
                 std::string(round) + ": " + std::to_string(expected.size()) + " entries became " +
                     std::to_string(actual.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        FUZZ_REQUIRE(expected[i] == actual[i], std::string(round) + ": entry " + std::to_string(i) +
                                                   " " + entryText(expected[i]) + " came back as " +
                                                   entryText(actual[i]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Entries read;
    try {
        read = scalino::parseProperties(text);
    } catch (const scalino::PropertiesSyntaxError&) {
        return 0;  // a malformed escape, reported with its line
    }
    if (scalino::fuzz::isWellFormedUtf8(text)) {
        for (const auto& entry : read) {
            FUZZ_REQUIRE(scalino::fuzz::isWellFormedUtf8(entry.first) &&
                             scalino::fuzz::isWellFormedUtf8(entry.second),
                         "a UTF-8 text gave an entry that is not UTF-8: " + entryText(entry));
        }
    }

    Entries expected = read;
    for (auto& [key, value] : expected) {
        key = scalino::fuzz::utf8WithStrayBytesAsLatin1(key);
        value = scalino::fuzz::utf8WithStrayBytesAsLatin1(value);
    }
    const Entries once = readBack(written(read), "first round");
    requireSameEntries(expected, once, "first round");
    if (once == read) return 0;
    // Stray bytes became characters: those entries now stay as they are.
    const Entries twice = readBack(written(once), "second round");
    requireSameEntries(once, twice, "second round");
    return 0;
}
