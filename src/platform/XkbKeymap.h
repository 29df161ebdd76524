#pragma once

#include <string>
#include <string_view>
#include <utility>

struct xkb_keymap;
struct xkb_compose_table;

namespace scalino {

// A compiled XKB keymap, as a desktop's keyboard has it. Owns one reference.
class XkbKeymap {
public:
    // Compiles a layout named as setxkbmap takes it, "de" or "ch(fr)", from the system's XKB data
    // with the evdev rules and the pc105 model, as a desktop does. Throws KeyEventError saying
    // what to do when the name is malformed or the system has no such layout.
    static XkbKeymap compile(std::string_view layout);
    // Reads a keymap in the text format a Wayland compositor hands its clients
    // (XKB_KEYMAP_FORMAT_TEXT_V1). Throws KeyEventError when the text is not one.
    static XkbKeymap fromString(const std::string& text);

    explicit XkbKeymap(xkb_keymap* keymap) : keymap_(keymap) {}
    ~XkbKeymap();
    XkbKeymap(XkbKeymap&& other) noexcept : keymap_(std::exchange(other.keymap_, nullptr)) {}
    XkbKeymap& operator=(XkbKeymap&& other) noexcept;
    XkbKeymap(const XkbKeymap&) = delete;
    XkbKeymap& operator=(const XkbKeymap&) = delete;

    xkb_keymap* get() const { return keymap_; }
    // The keymap as text, as fromString reads it.
    std::string text() const;
    // The name of a group's layout as setxkbmap takes it ("de", "ch(fr)"), found by the
    // description the keymap carries in the system's list of layouts; the description itself
    // where the list has none such. A keymap read as text keeps only the description.
    std::string layoutName(unsigned group) const;

private:
    xkb_keymap* keymap_;
};

// The layout and variant of a name such as "ch(fr)": {"ch", "fr"}; {"de", ""} for "de".
std::pair<std::string, std::string> splitXkbLayoutName(std::string_view name);

// The compose table of the user's locale (what dead keys compose to in the receiving
// applications), loaded once for the process; null where the system has none. Thread-safe.
xkb_compose_table* localeComposeTable();

}  // namespace scalino
