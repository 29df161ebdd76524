#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace scalino {

// Replaces the file with the content so that readers, a crash or a power loss see the old file
// or the new one, never a mix: a temporary file in the same folder is written, synced and
// renamed over the old one, which keeps the old file's permissions (and owner, where allowed).
// A new file gets the usual permissions (0666 less the umask). A symbolic link is written
// through: the file it leads to is replaced, in that file's folder, and the link stays.
// Anything but a regular file (a directory, a FIFO, a device) is refused, never renamed over.
// Throws BackingStoreException.
void replaceFileAtomically(const std::filesystem::path& file, std::string_view content);

// What a file of this mode is, for messages: "a folder", "a named pipe (FIFO)" and so on.
const char* fileKind(mode_t mode);

// The absolute path of the file that file names once symbolic links in its last component are
// followed, also where the last link leads to a file that does not exist yet. Throws
// BackingStoreException for a loop of links.
std::filesystem::path followLinks(const std::filesystem::path& file);

// Throws BackingStoreException when file (given, once followLinks'd) exists and is not a regular
// file: renaming over a device or a FIFO would swap it for a plain file.
void refuseSpecialFile(const std::filesystem::path& given, const std::filesystem::path& file);

// Removes the temporary files that replaceFileAtomically left next to file (already
// followLinks'd) when its process was killed: only names of its pattern, only regular files of
// this user, only of processes that no longer run. Call while holding the lock that every
// writer of the file takes, so that no temporary file found can be in use.
void removeStaleTemporaryFiles(const std::filesystem::path& file);

}  // namespace scalino
