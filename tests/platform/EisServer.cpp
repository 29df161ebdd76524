#include "platform/EisServer.h"

#include <dlfcn.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <filesystem>

namespace scalino::test {

std::string libraryFile(const std::string& name) {
#ifdef SCALINO_LIBEI_DIR
    const std::string file = std::string(SCALINO_LIBEI_DIR) + "/lib/" + name;
    if (std::filesystem::exists(file)) return file;
#endif
    return name;
}

const std::string kHowToGet =
    ": install the packages libei1 and libeis1 (Debian 13, Ubuntu 24.04), or on Debian 12 run "
    "scripts/fetch-libei.sh "
#ifdef SCALINO_LIBEI_DIR
    SCALINO_LIBEI_DIR
#else
    "FOLDER"
#endif
    " (scripts/test.sh does)";

std::string LibEis::load() {
    const std::string file = libraryFile("libeis.so.1");
    handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return "cannot load libeis.so.1" + kHowToGet;
    std::string missing;
    const auto find = [&](auto& function, const char* name) {
        void* symbol = dlsym(handle, name);
        if (symbol == nullptr) missing += std::string(" ") + name;
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(symbol);
    };
    find(new_context, "eis_new");
    find(unref, "eis_unref");
    find(log_set_priority, "eis_log_set_priority");
    find(setup_backend_fd, "eis_setup_backend_fd");
    find(backend_fd_add_client, "eis_backend_fd_add_client");
    find(get_fd, "eis_get_fd");
    find(dispatch, "eis_dispatch");
    find(get_event, "eis_get_event");
    find(event_unref, "eis_event_unref");
    find(event_get_type, "eis_event_get_type");
    find(event_get_client, "eis_event_get_client");
    find(event_get_seat, "eis_event_get_seat");
    find(event_seat_has_capability, "eis_event_seat_has_capability");
    find(event_keyboard_get_key, "eis_event_keyboard_get_key");
    find(event_keyboard_get_key_is_press, "eis_event_keyboard_get_key_is_press");
    find(client_connect, "eis_client_connect");
    find(client_ref, "eis_client_ref");
    find(client_unref, "eis_client_unref");
    find(client_new_seat, "eis_client_new_seat");
    find(seat_configure_capability, "eis_seat_configure_capability");
    find(seat_add, "eis_seat_add");
    find(seat_unref, "eis_seat_unref");
    find(seat_new_device, "eis_seat_new_device");
    find(device_configure_name, "eis_device_configure_name");
    find(device_configure_capability, "eis_device_configure_capability");
    find(device_new_keymap, "eis_device_new_keymap");
    find(keymap_add, "eis_keymap_add");
    find(keymap_unref, "eis_keymap_unref");
    find(device_add, "eis_device_add");
    find(device_remove, "eis_device_remove");
    find(device_pause, "eis_device_pause");
    find(device_resume, "eis_device_resume");
    find(device_unref, "eis_device_unref");
    find(device_keyboard_send_xkb_modifiers, "eis_device_keyboard_send_xkb_modifiers");
    if (!missing.empty()) return file + " is not libeis 1.x: it lacks" + missing;
    return "";
}

CompiledKeymap compileKeymap(const std::string& layouts, const std::string& variants) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names{"evdev", "pc105", layouts.c_str(), variants.c_str(), ""};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_context_unref(context);
    CompiledKeymap compiled;
    if (keymap == nullptr) return compiled;
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    compiled.text = text;
    free(text);
    compiled.capsLockMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS);
    compiled.numLockMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_NUM);
    xkb_keymap_unref(keymap);
    return compiled;
}

}  // namespace scalino::test
