#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace scalino::test {

// A private headless Sway (a wlroots compositor without screens or input devices) with an XKB
// layout in its settings, for as long as the object lives. Sway gives those settings to its real
// keyboards only, and a headless one has none: a test that needs the user's keyboard in the seat
// adds one of its own (WaylandVirtualKeyboard::open with a layout). Sway refuses to run as root:
// under root it runs as the user nobody, with a runtime folder of its own; the test connects to
// its socket by path, which root may.
class SwayServer {
public:
    // layout and variant as Sway's xkb_layout and xkb_variant take them: "de", "ch" and "fr".
    explicit SwayServer(std::string_view layout, std::string_view variant = "");
    ~SwayServer();
    SwayServer(const SwayServer&) = delete;
    SwayServer& operator=(const SwayServer&) = delete;

    // Empty when the compositor runs; otherwise why it does not (for a test to skip with).
    const std::string& failure() const { return failure_; }
    // The absolute path of its socket, for WAYLAND_DISPLAY.
    std::string socket() const { return (runtimeDir_ / "wayland-1").string(); }
    // Its runtime folder, for XDG_RUNTIME_DIR.
    const std::filesystem::path& runtimeDir() const { return runtimeDir_; }
    // What the compositor wrote, for a failure's message.
    std::string log() const;
    // The path of its IPC socket, for SWAYSOCK; "" when it has none.
    std::string ipcSocket() const;
    // Runs a command of Sway's (swaymsg), such as "input type:keyboard xkb_layout de"; empty
    // when it was carried out, otherwise what swaymsg said.
    std::string command(const std::string& command) const;

private:
    void start(std::string_view layout, std::string_view variant);

    pid_t pid_ = -1;
    std::filesystem::path runtimeDir_;
    std::string failure_;
};

}  // namespace scalino::test
