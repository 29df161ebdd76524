#include "platform/XkbKeymap.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>

#include "config/ConfigHelper.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {

namespace {

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
using Context = std::unique_ptr<xkb_context, ContextDeleter>;

// A context that reads only the system's data and keeps its complaints to itself: an unknown
// layout is reported once, by the caller, with what to do.
Context quietContext() {
    Context context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context) throw KeyEventError("cannot start libxkbcommon (out of memory?)");
    xkb_context_set_log_level(context.get(), XKB_LOG_LEVEL_CRITICAL);
    return context;
}

// The locale whose compose table the receiving applications use: the user's, or a UTF-8 one
// where the user's is the plain C locale, whose table has no dead keys.
std::string composeLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        const std::string locale = value;
        if (locale == "C" || locale == "POSIX") break;
        return locale;
    }
    return "C.UTF-8";
}

xkb_compose_table* loadComposeTable() {
    const Context context = quietContext();
    for (const std::string& locale : {composeLocale(), std::string("C.UTF-8")}) {
        if (auto* table = xkb_compose_table_new_from_locale(context.get(), locale.c_str(),
                                                            XKB_COMPOSE_COMPILE_NO_FLAGS))
            return table;
    }
    return nullptr;
}

}  // namespace

XkbKeymap XkbKeymap::compile(std::string_view layout) {
    if (layout.empty() || !ConfigHelper::XkbLayout::isValid(layout)) {
        throw KeyEventError("'" + std::string(layout) +
                            "' is not a keyboard layout name: give an XKB layout with its variant "
                            "in parentheses, such as de, ch(fr) or us(dvorak)");
    }
    const auto [name, variant] = splitXkbLayoutName(layout);
    const Context context = quietContext();
    const xkb_rule_names names{"evdev", "pc105", name.c_str(), variant.c_str(), ""};
    xkb_keymap* keymap =
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) {
        throw KeyEventError("the system has no keyboard layout '" + std::string(layout) +
                            "': 'localectl list-x11-keymap-layouts' lists the layouts and "
                            "'localectl list-x11-keymap-variants " +
                            name + "' the variants (package xkb-data)");
    }
    return XkbKeymap(keymap);
}

XkbKeymap::~XkbKeymap() {
    xkb_keymap_unref(keymap_);
}

XkbKeymap& XkbKeymap::operator=(XkbKeymap&& other) noexcept {
    if (this != &other) {
        xkb_keymap_unref(keymap_);
        keymap_ = std::exchange(other.keymap_, nullptr);
    }
    return *this;
}

std::pair<std::string, std::string> splitXkbLayoutName(std::string_view name) {
    const size_t open = name.find('(');
    if (open == std::string_view::npos || name.back() != ')') return {std::string(name), ""};
    return {std::string(name.substr(0, open)),
            std::string(name.substr(open + 1, name.size() - open - 2))};
}

xkb_compose_table* localeComposeTable() {
    // Never freed: one table, shared by every keymap for as long as the process runs.
    static xkb_compose_table* const table = loadComposeTable();
    return table;
}

}  // namespace scalino
