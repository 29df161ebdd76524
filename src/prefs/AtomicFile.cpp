#include "prefs/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "prefs/BackingStoreException.h"

namespace scalino {
namespace {

[[noreturn]] void fail(const std::filesystem::path& file, std::string_view what, int error) {
    throw BackingStoreException("Cannot write " + file.string() + ": " + std::string(what) + ": " +
                                std::strerror(error));
}

// A name no other writer in this or another process uses at the same time.
std::filesystem::path temporaryName(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    return file.parent_path() / ("." + file.filename().string() + ".tmp" +
                                 std::to_string(::getpid()) + "-" + std::to_string(++counter));
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        content.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Keeps the old file's mode and, when the caller may, its owner and group.
void copyAttributes(int fd, const std::filesystem::path& file) {
    struct stat old {};
    if (::stat(file.c_str(), &old) != 0) return;
    (void)::fchmod(fd, old.st_mode & 07777);
    (void)::fchown(fd, old.st_uid, old.st_gid);
}

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

}  // namespace

void replaceFileAtomically(const std::filesystem::path& given, std::string_view content) {
    const std::filesystem::path file = std::filesystem::absolute(given);
    const std::filesystem::path temporary = temporaryName(file);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail(file, "cannot create a temporary file in its folder", errno);
    copyAttributes(fd, file);
    const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        fail(file, "cannot write the temporary file", written ? errno : error);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        fail(file, "cannot replace it", renameError);
    }
    syncFolder(file.parent_path());
}

}  // namespace scalino
