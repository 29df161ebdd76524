#include "platform/X11DesktopLayout.h"

#include <xcb/xcb.h>
// xkb.h names a field "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/Text.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

template <typename Reply>
struct ReplyDeleter {
    void operator()(Reply* reply) const { std::free(reply); }
};
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, ReplyDeleter<Reply>>;

// The fields of the comma-separated list a rules property holds.
std::vector<std::string> commaFields(const std::string& list) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = list.find(',', start);
        fields.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

// The layout of a group from the server's _XKB_RULES_NAMES property (rules, model, layouts,
// variants, options; what setxkbmap and the desktops set).
std::string rulesLayoutName(xcb_connection_t* connection, unsigned group) {
    static constexpr char kProperty[] = "_XKB_RULES_NAMES";
    const ReplyPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof kProperty - 1, kProperty), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) return "";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const ReplyPtr<xcb_get_property_reply_t> property(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_STRING, 0, 1024),
        nullptr));
    if (!property) return "";
    const char* value = static_cast<const char*>(xcb_get_property_value(property.get()));
    const int length = xcb_get_property_value_length(property.get());
    std::vector<std::string> parts(1);
    for (int i = 0; i < length; ++i) {
        if (value[i] == '\0') {
            parts.emplace_back();
        } else {
            parts.back() += value[i];
        }
    }
    if (parts.size() < 3) return "";
    const auto layouts = commaFields(parts[2]);
    const auto variants = parts.size() > 3 ? commaFields(parts[3]) : std::vector<std::string>{};
    if (group >= layouts.size() || layouts[group].empty()) return "";
    const std::string variant = group < variants.size() ? variants[group] : "";
    return variant.empty() ? layouts[group] : layouts[group] + "(" + variant + ")";
}

unsigned activeGroup(xcb_connection_t* connection, int device) {
    const ReplyPtr<xcb_xkb_get_state_reply_t> state(xcb_xkb_get_state_reply(
        connection, xcb_xkb_get_state(connection, static_cast<xcb_xkb_device_spec_t>(device)),
        nullptr));
    return state ? state->group : 0;
}

// Events that say the keymap or the active group changed; modifier changes (our own Shift
// presses among them) are not asked for.
void selectLayoutEvents(xcb_connection_t* connection, int device) {
    constexpr uint16_t kEvents = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                 XCB_XKB_EVENT_TYPE_MAP_NOTIFY | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr uint16_t kMapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    constexpr uint16_t kGroupParts = XCB_XKB_STATE_PART_GROUP_STATE |
                                     XCB_XKB_STATE_PART_GROUP_BASE |
                                     XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = kGroupParts;
    details.stateDetails = kGroupParts;
    xcb_xkb_select_events_aux(connection, static_cast<xcb_xkb_device_spec_t>(device), kEvents, 0,
                              0, kMapParts, kMapParts, &details);
    xcb_flush(connection);
}

// The connection and the XKB extension's first event code; throws KeyEventError.
xcb_connection_t* connectWithXkb(const std::string& displayName, uint8_t& firstEvent) {
    xcb_connection_t* connection =
        xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        const char* fromEnvironment = std::getenv("DISPLAY");
        const std::string name = displayName.empty() && fromEnvironment ? fromEnvironment
                                                                        : displayName;
        if (name.empty()) throw KeyEventError("no X display: DISPLAY is not set");
        throw KeyEventError("cannot connect to the X display '" + name +
                            "' to read its keyboard layout");
    }
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                     &firstEvent, nullptr)) {
        xcb_disconnect(connection);
        throw KeyEventError("the X server lacks the XKB extension, which the desktop's layout "
                            "is read through");
    }
    return connection;
}

}  // namespace

std::unique_ptr<X11DesktopLayout> X11DesktopLayout::open(const std::string& displayName) {
    uint8_t firstEvent = 0;
    xcb_connection_t* connection = connectWithXkb(displayName, firstEvent);
    const int device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device == -1) {
        xcb_disconnect(connection);
        throw KeyEventError("the X server has no core keyboard to read the layout of");
    }
    selectLayoutEvents(connection, device);
    std::unique_ptr<X11DesktopLayout> layout(new X11DesktopLayout(connection, device, firstEvent));
    layout->readKeymap();
    return layout;
}

X11DesktopLayout::X11DesktopLayout(xcb_connection_t* connection, int device, uint8_t firstEvent)
    : connection_(connection), device_(device), firstEvent_(firstEvent) {}

X11DesktopLayout::~X11DesktopLayout() {
    table_.reset();
    keymap_.reset();
    xcb_disconnect(connection_);
}

const XkbCharacterTable& X11DesktopLayout::characters() {
    if (takeEvents() || !table_) table_ = std::make_unique<XkbCharacterTable>(*keymap_, group_);
    return *table_;
}

std::string X11DesktopLayout::name() {
    takeEvents();
    return rulesLayoutName(connection_, group_);
}

// What the server sent since the last call, without waiting: a new keymap is read at once, a
// new group noted. A server that went away leaves the last keymap; sending keys then fails.
bool X11DesktopLayout::takeEvents() {
    bool keymapChanged = false;
    bool groupChanged = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        if ((event->response_type & 0x7F) == firstEvent_) {
            const auto* xkb = reinterpret_cast<const xcb_xkb_new_keyboard_notify_event_t*>(event);
            if (xkb->deviceID == device_) {
                keymapChanged = keymapChanged || xkb->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY ||
                                xkb->xkbType == XCB_XKB_MAP_NOTIFY;
                groupChanged = groupChanged || xkb->xkbType == XCB_XKB_STATE_NOTIFY;
            }
        }
        std::free(event);
    }
    if (keymapChanged) {
        try {
            readKeymap();
        } catch (const KeyEventError&) {
            return false;  // the keymap in hand stays; the next change is another chance
        }
    } else if (groupChanged) {
        const unsigned group = group_;
        readGroup();
        groupChanged = group != group_;
    }
    return keymapChanged || groupChanged;
}

void X11DesktopLayout::readKeymap() {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
    if (context == nullptr) throw KeyEventError("cannot start libxkbcommon (out of memory?)");
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, connection_, device_,
                                                        XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);  // the keymap keeps what it needs
    if (keymap == nullptr) throw KeyEventError("cannot read the X server's keyboard layout");
    keymap_.emplace(keymap);
    readGroup();
}

void X11DesktopLayout::readGroup() {
    group_ = activeGroup(connection_, device_);
}

std::string activeX11LayoutName(const std::string& displayName) {
    try {
        uint8_t firstEvent = 0;
        xcb_connection_t* connection = connectWithXkb(displayName, firstEvent);
        const int device = xkb_x11_get_core_keyboard_device_id(connection);
        const std::string name =
            device == -1 ? "" : rulesLayoutName(connection, activeGroup(connection, device));
        xcb_disconnect(connection);
        return name;
    } catch (const KeyEventError&) {
        return "";
    }
}

}  // namespace scalino
