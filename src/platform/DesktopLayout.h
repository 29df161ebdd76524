#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/XkbCharacterTable.h"
#include "platform/XkbKeymap.h"

namespace scalino {

// Where the desktop's keyboard layout comes from: a keymap and its active group.
class DesktopLayout {
public:
    virtual ~DesktopLayout() = default;
    // The characters of the active group as they are now; a source that follows the desktop
    // reads the keymap again first when it changed. The reference holds until the next call.
    virtual const XkbCharacterTable& characters() = 0;
    // The active layout as XKB names it: "de", "ch(fr)"; for messages and comparisons.
    virtual std::string name() = 0;
};

// A layout named in the settings, compiled once from the system's XKB data.
class NamedDesktopLayout : public DesktopLayout {
public:
    // Throws KeyEventError saying what to do when the system has no such layout.
    explicit NamedDesktopLayout(std::string_view layout);

    const XkbCharacterTable& characters() override { return table_; }
    std::string name() override { return name_; }

private:
    std::string name_;
    XkbKeymap keymap_;
    XkbCharacterTable table_;
};

// A layout given as a keymap, such as the one a Wayland compositor hands its clients; its first
// group.
class KeymapDesktopLayout : public DesktopLayout {
public:
    explicit KeymapDesktopLayout(XkbKeymap keymap);

    const XkbCharacterTable& characters() override { return table_; }
    std::string name() override { return name_; }

private:
    XkbKeymap keymap_;
    std::string name_;
    XkbCharacterTable table_;
};

}  // namespace scalino
