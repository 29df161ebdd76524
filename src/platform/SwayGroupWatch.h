#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace scalino {

// Sway reports the group of its keyboards through its IPC ($SWAYSOCK), not through Wayland to a
// client without the focus: where it runs, the watch asks for the group at the start and takes
// the input events that report another one. Not thread-safe: its owner serialises the calls.
class SwayGroupWatch {
public:
    // Null where there is no Sway to ask.
    static std::unique_ptr<SwayGroupWatch> open();
    ~SwayGroupWatch();
    SwayGroupWatch(const SwayGroupWatch&) = delete;
    SwayGroupWatch& operator=(const SwayGroupWatch&) = delete;

    // The group last reported since the last call, without waiting, or up to timeoutMs for the
    // list of inputs asked for at the start.
    std::optional<unsigned> take(int timeoutMs = 0);

private:
    struct Message {
        uint32_t type;
        std::string payload;
    };

    explicit SwayGroupWatch(int fd) : fd_(fd) {}
    bool ask(uint32_t type, std::string_view payload);
    std::optional<Message> nextMessage();
    static std::optional<unsigned> groupIn(const Message& message);
    void stop();

    int fd_;
    std::string buffer_;
};

}  // namespace scalino
