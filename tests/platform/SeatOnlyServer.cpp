#include "platform/SeatOnlyServer.h"

#include <wayland-server.h>

#include <cstdlib>

namespace scalino::test {

namespace {

// A client that binds the seat gets a seat without capabilities: nothing it asks of it is done.
void releaseSeat(wl_client*, wl_resource* resource) {
    wl_resource_destroy(resource);
}
void getNothing(wl_client*, wl_resource*, uint32_t) {}

const struct wl_seat_interface kSeat = {getNothing, getNothing, getNothing, releaseSeat};

void bindSeat(wl_client* client, void*, uint32_t version, uint32_t id) {
    wl_resource* seat =
        wl_resource_create(client, &wl_seat_interface, static_cast<int>(version), id);
    if (seat == nullptr) {
        wl_client_post_no_memory(client);
        return;
    }
    wl_resource_set_implementation(seat, &kSeat, nullptr, nullptr);
    wl_seat_send_capabilities(seat, 0);
    if (version >= WL_SEAT_NAME_SINCE_VERSION) wl_seat_send_name(seat, "seat0");
}

}  // namespace

SeatOnlyServer::SeatOnlyServer() {
    std::string pattern = "/tmp/scalino-wayland-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        failure_ = "cannot make a folder for the socket";
        return;
    }
    folder_ = pattern;
    display_ = wl_display_create();
    if (display_ == nullptr || wl_display_add_socket(display_, socket().c_str()) != 0 ||
        wl_global_create(display_, &wl_seat_interface, 5, nullptr, bindSeat) == nullptr) {
        failure_ = "cannot start a Wayland server on " + socket();
        return;
    }
    thread_ = std::thread([this] {
        wl_event_loop* loop = wl_display_get_event_loop(display_);
        while (!stop_) {
            wl_display_flush_clients(display_);
            wl_event_loop_dispatch(loop, 50);
        }
    });
}

SeatOnlyServer::~SeatOnlyServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (display_ != nullptr) wl_display_destroy(display_);
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

}  // namespace scalino::test
