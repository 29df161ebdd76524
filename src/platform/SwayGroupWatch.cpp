#include "platform/SwayGroupWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <regex>

namespace scalino {

namespace {

// Sway's IPC: the message types asked and taken, and the header of every message.
constexpr uint32_t kSubscribe = 2;
constexpr uint32_t kGetInputs = 100;
constexpr uint32_t kInputEvent = 0x80000015;
constexpr size_t kHeader = 14;  // "i3-ipc", length, type
constexpr size_t kMostBuffered = 1 << 20;

}  // namespace

std::unique_ptr<SwayGroupWatch> SwayGroupWatch::open() {
    const char* path = std::getenv("SWAYSOCK");
    if (path == nullptr || *path == '\0') return nullptr;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) return nullptr;
    std::strcpy(address.sun_path, path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    std::unique_ptr<SwayGroupWatch> watch(new SwayGroupWatch(fd));
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !watch->ask(kGetInputs, "") || !watch->ask(kSubscribe, R"(["input"])"))
        return nullptr;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return watch;
}

SwayGroupWatch::~SwayGroupWatch() {
    if (fd_ >= 0) close(fd_);
}

std::optional<unsigned> SwayGroupWatch::take(int timeoutMs) {
    std::optional<unsigned> group;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
        char chunk[4096];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            if (buffer_.size() > kMostBuffered) stop();
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            stop();
            break;
        }
        bool answered = false;  // the list of inputs came, with or without a keyboard
        while (auto message = nextMessage()) {
            answered = answered || message->type == kGetInputs;
            if (auto reported = groupIn(*message)) group = reported;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (group || answered || left <= 0) break;
        pollfd readable{fd_, POLLIN, 0};
        poll(&readable, 1, static_cast<int>(left));
    }
    return group;
}

bool SwayGroupWatch::ask(uint32_t type, std::string_view payload) {
    std::string message = "i3-ipc";
    const uint32_t header[2] = {static_cast<uint32_t>(payload.size()), type};
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    message.append(payload);
    return send(fd_, message.data(), message.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(message.size());
}

std::optional<SwayGroupWatch::Message> SwayGroupWatch::nextMessage() {
    if (buffer_.size() < kHeader) return std::nullopt;
    uint32_t header[2];
    std::memcpy(header, buffer_.data() + 6, sizeof header);
    if (buffer_.size() < kHeader + header[0]) return std::nullopt;
    Message message{header[1], buffer_.substr(kHeader, header[0])};
    buffer_.erase(0, kHeader + header[0]);
    return message;
}

// The first keyboard's group in the list of inputs; the group of a keyboard whose layout or
// keymap changed.
std::optional<unsigned> SwayGroupWatch::groupIn(const Message& message) {
    if (message.type != kGetInputs && message.type != kInputEvent) return std::nullopt;
    static const std::regex index(R"re("xkb_active_layout_index":\s*(\d+))re");
    std::smatch found;
    if (!std::regex_search(message.payload, found, index)) return std::nullopt;
    return static_cast<unsigned>(std::stoul(found[1]));
}

// Sway is gone or sent more than a group's worth: the watch reports nothing more.
void SwayGroupWatch::stop() {
    close(fd_);
    fd_ = -1;
    buffer_.clear();
}

}  // namespace scalino
