#include "platform/PortalKeyboard.h"

#include <linux/input-event-codes.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace scalino {

std::unique_ptr<PortalKeyboard> PortalKeyboard::open(RestoreTokenStore tokens,
                                                     PortalTimeouts timeouts) {
    return std::make_unique<PortalKeyboard>(RemoteDesktopPortal::open(std::move(tokens), timeouts));
}

PortalKeyboard::PortalKeyboard(std::unique_ptr<RemoteDesktopPortal> portal)
    : portal_(std::move(portal)) {}

void PortalKeyboard::press(int key) {
    std::lock_guard lock(mutex_);
    portal_->notifyKeyboardKeycode(key, true);
    // A lock key toggles its light on the press, as on a real keyboard.
    if (key == KEY_CAPSLOCK) capsLock_ = !capsLock_;
    if (key == KEY_NUMLOCK) numLock_ = !numLock_;
}

void PortalKeyboard::release(int key) {
    std::lock_guard lock(mutex_);
    portal_->notifyKeyboardKeycode(key, false);
}

bool PortalKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(mutex_);
    return led == KeyboardLed::CapsLock ? capsLock_ : numLock_;
}

bool PortalKeyboard::closed() {
    std::lock_guard lock(mutex_);
    return portal_->closed();
}

std::string PortalKeyboard::method() const {
    return "the remote-desktop portal";
}

std::unique_ptr<DesktopLayout> PortalKeyboard::receiverLayout() const {
    if (receiverKeymap_.empty()) return nullptr;
    return std::make_unique<KeymapDesktopLayout>(XkbKeymap::fromString(receiverKeymap_));
}

namespace {

std::filesystem::path tokenFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::filesystem::path folder;
    if (state != nullptr && *state == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') return {};
        folder = std::filesystem::path(home) / ".local" / "state";
    }
    return folder / "scalino" / "portal-restore-token";
}

}  // namespace

RestoreTokenStore restoreTokenFile() {
    RestoreTokenStore store;
    store.load = [] {
        const std::filesystem::path file = tokenFile();
        std::string token;
        if (file.empty()) return token;
        std::ifstream in(file);
        std::getline(in, token);
        return token;
    };
    store.save = [](const std::string& token) {
        const std::filesystem::path file = tokenFile();
        if (file.empty()) return;
        std::error_code error;
        if (token.empty()) {
            std::filesystem::remove(file, error);
            return;
        }
        std::filesystem::create_directories(file.parent_path(), error);
        // The token stands for the user's consent: only the user reads it.
        const std::filesystem::path written = file.string() + ".new";
        {
            std::ofstream out(written, std::ios::trunc);
            if (!out) return;
            std::filesystem::permissions(
                written, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                error);
            out << token << '\n';
            if (!out.flush()) return;
        }
        std::filesystem::rename(written, file, error);
    };
    return store;
}

}  // namespace scalino
