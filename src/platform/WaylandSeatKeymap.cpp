#include "platform/WaylandSeatKeymap.h"

#include <wayland-client.h>

#include <cstring>
#include <memory>

#include "platform/WaylandConnection.h"
#include "platform/WaylandSeatKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

struct SeatFinder {
    wl_registry* registry = nullptr;
    std::unique_ptr<WaylandSeatKeyboard> seat;

    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* self = static_cast<SeatFinder*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat) {
            self->seat = std::make_unique<WaylandSeatKeyboard>(registry, name, version);
        }
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static constexpr wl_registry_listener listener{global, globalRemove};
};

}  // namespace

std::string readSeatKeymap(const std::string& displayName) {
    try {
        WaylandConnection connection(displayName, "");
        SeatFinder finder;
        finder.registry = wl_display_get_registry(connection.display());
        wl_registry_add_listener(finder.registry, &SeatFinder::listener, &finder);
        connection.roundtrip("listing its interfaces");
        std::string keymap;
        if (finder.seat) {
            finder.seat->readKeymap([&] { connection.roundtrip("reading the seat's keymap"); });
            keymap = finder.seat->keymapText();
        }
        // The seat and the registry go before the connection they live on.
        finder.seat.reset();
        wl_registry_destroy(finder.registry);
        return keymap;
    } catch (const KeyEventError&) {
        return "";
    }
}

}  // namespace scalino
