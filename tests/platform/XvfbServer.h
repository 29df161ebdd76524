#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace scalino::test {

// A private X server (Xvfb) on a free display number, for as long as the object lives.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Empty when the server runs; otherwise why it does not (for a test to skip with).
    const std::string& failure() const { return failure_; }
    // ":N".
    const std::string& display() const { return display_; }
    // Loads an XKB layout the way a desktop does (evdev rules, pc105 model); returns "" or what
    // setxkbmap said.
    std::string setLayout(std::string_view layout, std::string_view variant) const;

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string failure_;
};

// The full path of a program found in PATH, or "" when there is none.
std::string findProgram(std::string_view name);

}  // namespace scalino::test
