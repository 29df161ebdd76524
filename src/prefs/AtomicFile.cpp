#include "prefs/AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>

#include "prefs/BackingStoreException.h"
#include "prefs/PreferencesLog.h"

namespace scalino {
namespace {

// As the kernel's own limit on links followed in one lookup.
constexpr int kMaxLinksFollowed = 40;

[[noreturn]] void fail(const std::filesystem::path& file, std::string_view what, int error) {
    throw BackingStoreException("Cannot write " + file.string() + ": " + std::string(what) + ": " +
                                std::strerror(error));
}

std::string temporaryPrefix(const std::filesystem::path& file) {
    return "." + file.filename().string() + ".tmp";
}

// A name no other writer in this or another process uses at the same time: the prefix, the
// process id, "-" and a counter.
std::filesystem::path temporaryName(const std::filesystem::path& file) {
    static std::atomic<unsigned> counter{0};
    return file.parent_path() /
           (temporaryPrefix(file) + std::to_string(::getpid()) + "-" + std::to_string(++counter));
}

// The process id in a temporary file's name after its prefix, when the rest has the pattern.
std::optional<pid_t> writerOf(std::string_view rest) {
    const size_t dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == rest.size()) return {};
    if (rest.find_first_not_of("0123456789-") != std::string_view::npos) return {};
    if (rest.find('-', dash + 1) != std::string_view::npos) return {};
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
    if (error != std::errc() || end != rest.data() + dash || pid <= 0) return {};
    return pid;
}

bool isRunning(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
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

std::filesystem::path followLinks(const std::filesystem::path& given) {
    std::filesystem::path file = std::filesystem::absolute(given);
    for (int followed = 0;; ++followed) {
        struct stat info {};
        if (::lstat(file.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return file;
        if (followed == kMaxLinksFollowed) fail(given, "cannot follow its symbolic links", ELOOP);
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(file, error);
        if (error) fail(given, "cannot read its symbolic link", error.value());
        // Relative to the link's folder, as the kernel reads it; not normalised, since ".."
        // after a linked folder is not the lexical parent.
        file = target.is_absolute() ? target : file.parent_path() / target;
    }
}

void refuseSpecialFile(const std::filesystem::path& given, const std::filesystem::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return;
    const std::string what = std::filesystem::absolute(given) == file ? "it" : file.string();
    throw BackingStoreException("Cannot write " + given.string() + ": " + what + " is " +
                                fileKind(info.st_mode) + ", not a regular file");
}

const char* fileKind(mode_t mode) {
    if (S_ISREG(mode)) return "a file";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

void replaceFileAtomically(const std::filesystem::path& given, std::string_view content) {
    const std::filesystem::path file = followLinks(given);
    refuseSpecialFile(given, file);
    const std::filesystem::path temporary = temporaryName(file);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail(given, "cannot create a temporary file in its folder", errno);
    copyAttributes(fd, file);
    const bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        ::unlink(temporary.c_str());
        fail(given, "cannot write the temporary file", written ? errno : error);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        fail(given, "cannot replace it", renameError);
    }
    syncFolder(file.parent_path());
}

void removeStaleTemporaryFiles(const std::filesystem::path& file) {
    const std::string prefix = temporaryPrefix(file);
    std::error_code error;
    for (std::filesystem::directory_iterator it(file.parent_path(), error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix)) continue;
        const auto pid = writerOf(std::string_view(name).substr(prefix.size()));
        if (!pid || *pid == ::getpid() || isRunning(*pid)) continue;
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid()) {
            continue;
        }
        if (::unlink(it->path().c_str()) == 0) {
            PreferencesLog::debug("Removed " + it->path().string() +
                                  ", left by a writer that ended before replacing the file");
        }
    }
}

}  // namespace scalino
