#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

struct wl_display;

namespace scalino::test {

// A Wayland server of libwayland-server that offers a seat and nothing else, as compositors do
// that lack the virtual-keyboard protocol (GNOME, KDE Plasma); it answers on a socket of its own
// from a thread of its own for as long as the object lives.
class SeatOnlyServer {
public:
    SeatOnlyServer();
    ~SeatOnlyServer();
    SeatOnlyServer(const SeatOnlyServer&) = delete;
    SeatOnlyServer& operator=(const SeatOnlyServer&) = delete;

    // Empty when the server answers; otherwise why it does not.
    const std::string& failure() const { return failure_; }
    // The absolute path of its socket, for WAYLAND_DISPLAY.
    std::string socket() const { return (folder_ / "wayland-0").string(); }

private:
    std::filesystem::path folder_;
    wl_display* display_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::string failure_;
};

}  // namespace scalino::test
