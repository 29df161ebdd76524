#include "platform/WaylandConnection.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

// What a compositor that answers at all answers within.
constexpr int kFlushTimeoutMs = 5000;

}  // namespace

WaylandConnection::WaylandConnection(const std::string& displayName, std::string refusalAdvice)
    : name_(displayName), refusalAdvice_(std::move(refusalAdvice)) {
    if (name_.empty()) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        if (name == nullptr || *name == '\0') {
            throw KeyEventError("this is no Wayland session: WAYLAND_DISPLAY is not set");
        }
        name_ = name;
    }
    display_ = wl_display_connect(name_.c_str());
    if (display_ == nullptr) {
        throw KeyEventError("no Wayland compositor answers on " + name_ + ": " +
                            std::strerror(errno));
    }
}

WaylandConnection::~WaylandConnection() {
    // The last keys reach the compositor before the keyboard goes.
    wl_display_roundtrip(display_);
    wl_display_disconnect(display_);
}

void WaylandConnection::roundtrip(const char* doing) {
    wl_display_roundtrip(display_);
    check(doing);
}

void WaylandConnection::flushKey(int key) {
    while (wl_display_flush(display_) < 0) {
        if (errno != EAGAIN) {
            const int error = errno;
            check("sending a key");
            throw KeyEventError("cannot send key " + std::to_string(key) +
                                " to the Wayland compositor on " + name_ + ": " +
                                std::strerror(error));
        }
        pollfd writable{wl_display_get_fd(display_), POLLOUT, 0};
        if (poll(&writable, 1, kFlushTimeoutMs) == 0) {
            throw KeyEventError("the Wayland compositor on " + name_ + " takes no more keys");
        }
    }
}

void WaylandConnection::takeEvents() {
    while (wl_display_prepare_read(display_) != 0)
        wl_display_dispatch_pending(display_);
    pollfd readable{wl_display_get_fd(display_), POLLIN, 0};
    if (poll(&readable, 1, 0) > 0) {
        wl_display_read_events(display_);
    } else {
        wl_display_cancel_read(display_);
    }
    wl_display_dispatch_pending(display_);
}

void WaylandConnection::check(const char* doing) {
    const int error = wl_display_get_error(display_);
    if (error == 0) return;
    std::string reason = std::strerror(error);
    if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        reason = "it refused a request (error " + std::to_string(code) + " of " +
                 (interface != nullptr ? interface->name : "the connection") + "); " +
                 refusalAdvice_;
    }
    throw KeyEventError("the Wayland compositor on " + name_ + " ended the connection while " +
                        doing + ": " + reason);
}

}  // namespace scalino
