#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace scalino {

// The whole content of a file that must fit in memory, read up to a limit so that a device or a
// huge file named by mistake (/dev/zero) ends in a message instead of filling the memory. None
// when the file does not exist. Throws BackingStoreException when it cannot be read or holds
// more than limit bytes; kind names what the file should be ("settings file") in that message.
std::optional<std::string> readWholeFile(const std::filesystem::path& file, size_t limit,
                                         std::string_view kind);

// A limit in bytes as the messages show it: "4 MiB".
std::string sizeText(size_t bytes);

}  // namespace scalino
