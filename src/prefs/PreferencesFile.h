#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace scalino {

// The properties file that holds the whole preferences tree. Reads see a complete file
// because every change replaces it atomically; changes are read-modify-write cycles under an
// advisory lock on the file's folder, so two processes sharing the file never lose each
// other's entries.
class PreferencesFile {
public:
    using Entries = std::map<std::string, std::string>;

    // Far above any real settings file (a program's settings take a few KiB), low enough that a
    // device or a wrong file named as the settings file ends in a message. A write that would
    // make the file larger is refused, so that what is written can always be read.
    static constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

    explicit PreferencesFile(std::filesystem::path path) : path_(std::move(path)) {}
    const std::filesystem::path& path() const { return path_; }

    // Every entry (a later line wins over an earlier one with the same key); none when the file
    // does not exist. Throws BackingStoreException when the file cannot be read or is not in
    // properties syntax, so that a damaged file is never taken for an empty one.
    Entries read() const;

    // Reads the entries, lets edit change them and writes the result with the two comment
    // lines at the top, in one atomic replacement. Throws BackingStoreException and leaves the
    // file as it was. Through a symbolic link, the file it leads to is replaced.
    void update(const std::function<void(Entries&)>& edit) const;

private:
    Entries readFrom(const std::filesystem::path& file) const;

    std::filesystem::path path_;
};

}  // namespace scalino
