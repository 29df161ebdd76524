#include "platform/DesktopLayout.h"

#include <utility>

namespace scalino {

NamedDesktopLayout::NamedDesktopLayout(std::string_view layout)
    : name_(layout), keymap_(XkbKeymap::compile(layout)), table_(keymap_, 0) {}

KeymapDesktopLayout::KeymapDesktopLayout(XkbKeymap keymap)
    : keymap_(std::move(keymap)), name_(keymap_.layoutName(0)), table_(keymap_, 0) {}

}  // namespace scalino
