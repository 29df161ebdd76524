#include "platform/XkbKeymap.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <fstream>
#include <map>
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

// The layouts and variants of the system's XKB data by their descriptions ("German" -> "de",
// "French (Switzerland)" -> "ch(fr)"), from the rules' list of them; read once.
std::map<std::string, std::string> readLayoutNames() {
    std::map<std::string, std::string> names;
    std::ifstream list("/usr/share/X11/xkb/rules/evdev.lst");
    std::string line, section;
    while (std::getline(list, line)) {
        if (line.starts_with("! ")) {
            section = line.substr(2);
            continue;
        }
        const size_t nameStart = line.find_first_not_of(' ');
        if (nameStart == std::string::npos) continue;
        const size_t nameEnd = line.find(' ', nameStart);
        if (nameEnd == std::string::npos) continue;
        const size_t textStart = line.find_first_not_of(' ', nameEnd);
        if (textStart == std::string::npos) continue;
        const std::string name = line.substr(nameStart, nameEnd - nameStart);
        std::string description = line.substr(textStart);
        if (section == "layout") {
            names.emplace(description, name);
        } else if (section == "variant") {
            // "fr              ch: French (Switzerland)"
            const size_t colon = description.find(": ");
            if (colon == std::string::npos) continue;
            names.emplace(description.substr(colon + 2),
                          description.substr(0, colon) + "(" + name + ")");
        }
    }
    return names;
}

}  // namespace

XkbKeymap XkbKeymap::fromString(const std::string& text) {
    const Context context = quietContext();
    xkb_keymap* keymap = xkb_keymap_new_from_string(
        context.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) throw KeyEventError("the keymap handed over cannot be read");
    return XkbKeymap(keymap);
}

std::string XkbKeymap::text() const {
    char* text = xkb_keymap_get_as_string(keymap_, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (text == nullptr) throw KeyEventError("cannot write the keymap out (out of memory?)");
    std::string result(text);
    std::free(text);
    return result;
}

std::string XkbKeymap::layoutName(unsigned group) const {
    const char* description = xkb_keymap_layout_get_name(keymap_, group);
    if (description == nullptr) return "";
    static const std::map<std::string, std::string> names = readLayoutNames();
    const auto found = names.find(description);
    return found != names.end() ? found->second : description;
}

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
