#pragma once

#include <filesystem>
#include <string_view>

namespace scalino {

// Replaces the file with the content so that readers, a crash or a power loss see the old file
// or the new one, never a mix: a temporary file in the same folder is written, synced and
// renamed over the old one, which keeps the old file's permissions (and owner, where allowed).
// A new file gets the usual permissions (0666 less the umask). Throws BackingStoreException.
void replaceFileAtomically(const std::filesystem::path& file, std::string_view content);

}  // namespace scalino
