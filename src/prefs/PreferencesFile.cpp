#include "prefs/PreferencesFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "prefs/AtomicFile.h"
#include "prefs/BackingStoreException.h"
#include "prefs/WholeFile.h"
#include "util/Properties.h"
#include "util/Text.h"

namespace scalino {
namespace {

// Holds an exclusive lock on the folder of the file for one read-modify-write cycle. A holder
// that hangs or dies does not freeze us: the lock dies with its process, and we give up after
// a while with a message.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& file) : file_(file) {
        const auto folder = file.parent_path();
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) fail("cannot open its folder", errno);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) fail("cannot lock its folder", errno);
            if (std::chrono::steady_clock::now() > deadline) {
                fail("another program has held the lock on its folder for 10 seconds", 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~FolderLock() { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    [[noreturn]] void fail(std::string_view what, int error) {
        if (fd_ >= 0) ::close(fd_);
        std::string message = "Cannot update " + file_.string() + ": " + std::string(what);
        if (error != 0) message += std::string(": ") + std::strerror(error);
        throw BackingStoreException(message);
    }

    std::filesystem::path file_;
    int fd_ = -1;
};

std::string timeOfWriting() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Z %Y", &local);
    return text;
}

std::string format(const PreferencesFile::Entries& entries) {
    std::string text = "#FilePreferences\n#" + timeOfWriting() + "\n";
    for (const auto& [key, value] : entries)
        appendPropertiesLine(text, key, value);
    return text;
}

// The text in UTF-8. A file written by hand in a single-byte encoding is read as Latin-1, line
// by line: a line that is not UTF-8 (a comment, even) must not change how the other lines
// read, or the next save would garble every value outside ASCII.
std::string decodeLines(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    while (!text.empty()) {
        const size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        decoded += decodeUtf8(line) ? std::string(line) : latin1ToUtf8(line);
        if (end < text.size()) decoded += text[end];
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return decoded;
}

}  // namespace

PreferencesFile::Entries PreferencesFile::read() const {
    return readFrom(path_);
}

PreferencesFile::Entries PreferencesFile::readFrom(const std::filesystem::path& file) const {
    const auto text = readWholeFile(file, kMaxFileBytes, "settings file");
    if (!text) return {};
    Entries entries;
    try {
        for (auto& [key, value] : parseProperties(decodeLines(*text)))
            entries[std::move(key)] = std::move(value);
    } catch (const PropertiesSyntaxError& error) {
        throw BackingStoreException(path_.string() + " is not a valid settings file (" +
                                    error.what() +
                                    "); correct that line or move the file away, then try again");
    }
    return entries;
}

void PreferencesFile::update(const std::function<void(Entries&)>& edit) const {
    // Through a link, the file it leads to is locked and replaced, so that writers naming the
    // link and writers naming the file exclude each other.
    const std::filesystem::path file = followLinks(path_);
    refuseSpecialFile(path_, file);
    FolderLock lock(file);
    removeStaleTemporaryFiles(file);
    Entries entries = readFrom(file);
    edit(entries);
    const std::string text = format(entries);
    if (text.size() > kMaxFileBytes) {
        throw BackingStoreException("Cannot write " + path_.string() +
                                    ": the settings would take " + std::to_string(text.size()) +
                                    " bytes, more than the " + sizeText(kMaxFileBytes) +
                                    " a settings file may hold");
    }
    replaceFileAtomically(file, text);
}

}  // namespace scalino
