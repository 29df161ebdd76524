#pragma once

#include <string>

struct wl_display;

namespace scalino {

// A client's connection to a Wayland compositor, as the keyboards that send it keys
// (WaylandVirtualKeyboard, KdeFakeInputKeyboard) use it: connecting, round trips, sending what
// is queued, taking the compositor's events, and the reasons, in the user's words, when any of
// it fails. Not thread-safe: its owner serialises the calls.
class WaylandConnection {
public:
    // Connects to displayName, or to $WAYLAND_DISPLAY when it is empty (a name, or an absolute
    // path to the socket). refusalAdvice is what the user can do instead when the compositor
    // ends the connection over a request it refused. Throws KeyEventError when this is no
    // Wayland session or no compositor answers.
    WaylandConnection(const std::string& displayName, std::string refusalAdvice);
    // Lets the last requests reach the compositor, then disconnects; the owner destroys its
    // objects on the connection first.
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* display() const { return display_; }
    // The display connected to, for messages.
    const std::string& name() const { return name_; }

    // Returns once the compositor has handled every request sent so far and its answers have
    // been dispatched. Throws KeyEventError, saying what it was doing, where the compositor
    // ended the connection.
    void roundtrip(const char* doing);
    // Sends the requests queued for key now, in the order made: the next key may be a while
    // coming. Throws KeyEventError when the compositor takes no more or is gone.
    void flushKey(int key);
    // Dispatches what the compositor sent without waiting for more, so that its messages (a
    // keymap handed round again, modifiers) do not pile up unread.
    void takeEvents();
    // Throws KeyEventError, saying what it was doing, where the compositor ended the connection.
    void check(const char* doing);

private:
    std::string name_;
    std::string refusalAdvice_;
    wl_display* display_ = nullptr;
};

}  // namespace scalino
