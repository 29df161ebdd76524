#include "platform/DesktopLayout.h"

namespace scalino {

NamedDesktopLayout::NamedDesktopLayout(std::string_view layout)
    : name_(layout), keymap_(XkbKeymap::compile(layout)), table_(keymap_, 0) {}

}  // namespace scalino
