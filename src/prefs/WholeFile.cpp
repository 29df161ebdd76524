#include "prefs/WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "prefs/BackingStoreException.h"

namespace scalino {
namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void failReading(const std::filesystem::path& file, int error) {
    throw BackingStoreException("Cannot read " + file.string() + ": " + std::strerror(error));
}

}  // namespace

std::string sizeText(size_t bytes) {
    constexpr size_t kMiB = 1024 * 1024;
    if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
    return std::to_string(bytes) + " bytes";
}

std::optional<std::string> readWholeFile(const std::filesystem::path& file, size_t limit,
                                         std::string_view kind) {
    // Opening a FIFO without a writer would wait for one; opened this way, it reads as empty.
    const Descriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        failReading(file, errno);
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) failReading(file, errno);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failReading(file, errno);
        if (n == 0) return text;
        if (text.size() + static_cast<size_t>(n) > limit) {
            throw BackingStoreException(file.string() + " is larger than " + sizeText(limit) +
                                        ", which no " + std::string(kind) +
                                        " is; check that it is the file meant");
        }
        text.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace scalino
