#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct wl_display;
struct wl_resource;
struct wl_event_source;

namespace scalino::test {

// A Wayland server of libwayland-server that stands for KWin towards KdeFakeInputKeyboard: it
// offers KWin's fake-input protocol (org_kde_kwin_fake_input) at the version asked for, and a
// seat whose keyboard hands clients a keymap of the system's XKB data, and keeps every request
// made of the fake input. KWin itself cannot run in the tests: its Debian package pulls in some
// 800 packages and a whole Plasma session, and it offers the protocol only to programs whose
// installed desktop entry names it. What the stand-in checks is the client's side of the
// protocol: that the keys KWin would receive are the ones the layout needs. Without the fake
// input and a keyboard (FakeInputServer("", 0)) it is a compositor that offers a seat and nothing
// else, as GNOME's does. It answers on a socket of its own from a thread of its own for as long as
// the object lives.
class FakeInputServer {
public:
    // A request made of the fake input: authenticate, keyboard_key, or another (by name).
    struct Request {
        std::string name;
        std::string application;  // authenticate's
        std::string reason;       // authenticate's
        uint32_t key = 0;         // keyboard_key's evdev code
        uint32_t state = 0;       // keyboard_key's: 1 pressed, 0 released
    };

    // layout: the seat keyboard's keymap, as setxkbmap names it ("us", "de"); empty for a seat
    // without a keyboard. fakeInputVersion: the version of org_kde_kwin_fake_input offered
    // (1 to 4); 0 offers none, as KWin does to a program its desktop entries do not allow.
    explicit FakeInputServer(const std::string& layout, uint32_t fakeInputVersion = 4);
    ~FakeInputServer();
    FakeInputServer(const FakeInputServer&) = delete;
    FakeInputServer& operator=(const FakeInputServer&) = delete;

    // Empty when the server answers; otherwise why it does not.
    const std::string& failure() const { return failure_; }
    // The absolute path of its socket, for WAYLAND_DISPLAY.
    std::string socket() const { return (folder_ / "wayland-0").string(); }

    // The requests made so far, in order; those a client sent before its last round trip are
    // all there.
    std::vector<Request> requests() const;
    void clearRequests();
    // From now on answers authenticate with a protocol error, as a compositor that refuses.
    void refuseAuthentication() { refuse_ = true; }
    bool refusesAuthentication() const { return refuse_; }
    // Sends the seat keyboard's modifiers to every client's keyboard, as a compositor does to
    // the client with the keyboard focus; returns once they are on their way.
    void sendModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group);
    // Makes layout ("de") the seat keyboard's and hands its keymap to every client's keyboard,
    // as KWin does when the user changes the layout in its settings; returns once it is on its
    // way. Throws KeyEventError where the system's XKB data lacks the layout.
    void changeLayout(const std::string& layout);

    // For the protocol's callbacks.
    void record(Request request);
    void addKeyboard(wl_resource* keyboard);
    void removeKeyboard(wl_resource* keyboard);
    // The seat keyboard's keymap, which changeLayout replaces on the server's thread.
    const std::string& keymapText() const { return keymapText_; }

private:
    // Runs task on the server's thread and waits for it.
    void runOnServer(std::function<void()> task);
    static int runTasks(int fd, uint32_t mask, void* data);

    std::filesystem::path folder_;
    wl_display* display_ = nullptr;
    std::string keymapText_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> refuse_{false};
    std::thread thread_;
    std::string failure_;
    int wakeFd_ = -1;
    wl_event_source* wakeSource_ = nullptr;

    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::vector<Request> requests_;
    std::deque<std::function<void()>> tasks_;
    unsigned tasksRun_ = 0;
    std::vector<wl_resource*> keyboards_;  // only touched on the server's thread
};

}  // namespace scalino::test
