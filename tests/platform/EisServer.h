#pragma once

// An EIS server made with libeis, loaded at run time, as the tests' stand-in for the input
// emulation of GNOME and KDE Plasma: a seat with a keyboard whose device has an XKB keymap, and
// the keys it receives.

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/RecordingKeyboard.h"

// The part of libeis's C API (libeis.h of libei 1.x) the server uses.
extern "C" {
struct eis;
struct eis_client;
struct eis_device;
struct eis_seat;
struct eis_event;
struct eis_keymap;
}

namespace scalino::test {

enum : int {
    EIS_EVENT_CLIENT_CONNECT = 1,
    EIS_EVENT_CLIENT_DISCONNECT = 2,
    EIS_EVENT_SEAT_BIND = 3,
    EIS_EVENT_KEYBOARD_KEY = 700,
    EIS_DEVICE_CAP_KEYBOARD = 1 << 2,
    EIS_KEYMAP_TYPE_XKB = 1,
    EIS_LOG_PRIORITY_ERROR = 40,
};

// Where a library of libei is loaded from: the build tree's folder (SCALINO_LIBEI_DIR/lib, which
// scripts/fetch-libei.sh fills in) where it has it, else the system's.
std::string libraryFile(const std::string& name);

// What to do where the libraries cannot be loaded.
extern const std::string kHowToGet;

// libeis, loaded with dlopen.
struct LibEis {
    void* handle = nullptr;
    eis* (*new_context)(void*);
    eis* (*unref)(eis*);
    void (*log_set_priority)(eis*, int);
    int (*setup_backend_fd)(eis*);
    int (*backend_fd_add_client)(eis*);
    int (*get_fd)(eis*);
    void (*dispatch)(eis*);
    eis_event* (*get_event)(eis*);
    eis_event* (*event_unref)(eis_event*);
    int (*event_get_type)(eis_event*);
    eis_client* (*event_get_client)(eis_event*);
    eis_seat* (*event_get_seat)(eis_event*);
    bool (*event_seat_has_capability)(eis_event*, int);
    uint32_t (*event_keyboard_get_key)(eis_event*);
    bool (*event_keyboard_get_key_is_press)(eis_event*);
    void (*client_connect)(eis_client*);
    eis_client* (*client_ref)(eis_client*);
    eis_client* (*client_unref)(eis_client*);
    eis_seat* (*client_new_seat)(eis_client*, const char*);
    void (*seat_configure_capability)(eis_seat*, int);
    void (*seat_add)(eis_seat*);
    eis_seat* (*seat_unref)(eis_seat*);
    eis_device* (*seat_new_device)(eis_seat*);
    void (*device_configure_name)(eis_device*, const char*);
    void (*device_configure_capability)(eis_device*, int);
    eis_keymap* (*device_new_keymap)(eis_device*, int, int, size_t);
    void (*keymap_add)(eis_keymap*);
    eis_keymap* (*keymap_unref)(eis_keymap*);
    void (*device_add)(eis_device*);
    void (*device_remove)(eis_device*);
    void (*device_pause)(eis_device*);
    void (*device_resume)(eis_device*);
    eis_device* (*device_unref)(eis_device*);
    void (*device_keyboard_send_xkb_modifiers)(eis_device*, uint32_t, uint32_t, uint32_t, uint32_t);

    // "" when loaded, else why not.
    std::string load();
};

// A keymap compiled from the system's XKB data: layouts "us" or "us,de" (a group each),
// variants alike.
struct CompiledKeymap {
    std::string text;
    uint32_t capsLockMask = 0;
    uint32_t numLockMask = 0;
};

CompiledKeymap compileKeymap(const std::string& layouts, const std::string& variants = "");

// An EIS server on a thread of its own (libeis is not thread-safe: everything it does runs
// there), with one client, whose socket client() hands out.
class EisServer {
public:
    enum class Offer { ResumedKeyboard, PausedKeyboard, NoSeat };

    // Offers a seat with a keyboard, and on the client's bind a keyboard with the keymap, resumed
    // or left paused; or no seat at all.
    EisServer(LibEis& eis, std::string keymap, Offer offer = Offer::ResumedKeyboard)
        : eis_(eis), keymap_(std::move(keymap)), offer_(offer) {
        context_ = eis_.new_context(nullptr);
        eis_.log_set_priority(context_, EIS_LOG_PRIORITY_ERROR);
        eis_.setup_backend_fd(context_);
        clientFd_ = eis_.backend_fd_add_client(context_);
        if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
        thread_ = std::thread([this] { run(); });
    }
    ~EisServer() {
        stop();
        if (clientFd_ >= 0) close(clientFd_);
        close(wake_[0]);
        close(wake_[1]);
    }
    EisServer(const EisServer&) = delete;
    EisServer& operator=(const EisServer&) = delete;

    // The client's end of the socket, once: whoever takes it owns it.
    int takeClientFd() { return std::exchange(clientFd_, -1); }

    // Ends the server: the client's connection closes.
    void stop() {
        if (!thread_.joinable()) return;
        run([this] { stopping_ = true; });
        thread_.join();
    }

    // The keyboard device removed and another added in its place, with the keymap.
    void replaceKeyboard(const std::string& keymap) {
        run([this, keymap] {
            removeKeyboard();
            keymap_ = keymap;
            addKeyboard();
        });
    }
    void removeKeyboardDevice() {
        run([this] { removeKeyboard(); });
    }
    // The modifiers as a compositor tells them: locked ones and the effective group.
    void sendModifiers(uint32_t locked, uint32_t group) {
        run([this, locked, group] {
            eis_.device_keyboard_send_xkb_modifiers(device_, 0, 0, locked, group);
        });
    }

    // The keys received so far, once count have arrived or after 5 s; clears them.
    std::vector<RecordingKeyboard::Event> takeKeys(size_t count) {
        std::unique_lock lock(mutex_);
        received_.wait_for(lock, std::chrono::seconds(5), [&] { return keys_.size() >= count; });
        return std::exchange(keys_, {});
    }

private:
    // Runs a change on the server's thread and returns once it is sent.
    void run(std::function<void()> change) {
        std::promise<void> done;
        {
            std::lock_guard lock(mutex_);
            changes_.push_back([&] {
                change();
                done.set_value();
            });
        }
        const char byte = 1;
        [[maybe_unused]] ssize_t written = write(wake_[1], &byte, 1);
        done.get_future().wait();
    }

    void run() {
        while (!stopping_) {
            pollfd fds[2] = {{eis_.get_fd(context_), POLLIN, 0}, {wake_[0], POLLIN, 0}};
            poll(fds, 2, 100);
            char drained[64];
            while (read(wake_[0], drained, sizeof drained) > 0) {
            }
            eis_.dispatch(context_);
            while (eis_event* event = eis_.get_event(context_)) {
                handle(event);
                eis_.event_unref(event);
            }
            std::vector<std::function<void()>> changes;
            {
                std::lock_guard lock(mutex_);
                changes.swap(changes_);
            }
            for (auto& change : changes)
                change();
        }
        if (device_ != nullptr) eis_.device_unref(device_);
        if (seat_ != nullptr) eis_.seat_unref(seat_);
        if (client_ != nullptr) eis_.client_unref(client_);
        eis_.unref(context_);
    }

    void handle(eis_event* event) {
        switch (eis_.event_get_type(event)) {
            case EIS_EVENT_CLIENT_CONNECT:
                client_ = eis_.client_ref(eis_.event_get_client(event));
                eis_.client_connect(client_);
                if (offer_ == Offer::NoSeat) break;
                seat_ = eis_.client_new_seat(client_, "seat0");
                eis_.seat_configure_capability(seat_, EIS_DEVICE_CAP_KEYBOARD);
                eis_.seat_add(seat_);
                break;
            case EIS_EVENT_SEAT_BIND:
                if (device_ == nullptr &&
                    eis_.event_seat_has_capability(event, EIS_DEVICE_CAP_KEYBOARD)) {
                    addKeyboard();
                }
                break;
            case EIS_EVENT_KEYBOARD_KEY: {
                std::lock_guard lock(mutex_);
                keys_.push_back({eis_.event_keyboard_get_key_is_press(event),
                                 static_cast<int>(eis_.event_keyboard_get_key(event))});
                received_.notify_all();
                break;
            }
            default: break;
        }
    }

    void addKeyboard() {
        device_ = eis_.seat_new_device(seat_);
        eis_.device_configure_name(device_, "test keyboard");
        eis_.device_configure_capability(device_, EIS_DEVICE_CAP_KEYBOARD);
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        const size_t size = keymap_.size() + 1;  // with its NUL, as compositors send it
        if (write(fd, keymap_.c_str(), size) == static_cast<ssize_t>(size)) {
            eis_keymap* keymap = eis_.device_new_keymap(device_, EIS_KEYMAP_TYPE_XKB, fd, size);
            eis_.keymap_add(keymap);
            eis_.keymap_unref(keymap);
        }
        close(fd);
        eis_.device_add(device_);
        if (offer_ != Offer::PausedKeyboard) eis_.device_resume(device_);
    }

    void removeKeyboard() {
        if (device_ == nullptr) return;
        eis_.device_remove(device_);
        eis_.device_unref(device_);
        device_ = nullptr;
    }

    LibEis& eis_;
    std::string keymap_;
    Offer offer_;
    eis* context_ = nullptr;
    int clientFd_ = -1;
    int wake_[2] = {-1, -1};
    eis_client* client_ = nullptr;
    eis_seat* seat_ = nullptr;
    eis_device* device_ = nullptr;
    bool stopping_ = false;  // only the server's thread reads and writes it
    std::mutex mutex_;
    std::condition_variable received_;
    std::vector<RecordingKeyboard::Event> keys_;
    std::vector<std::function<void()>> changes_;
    std::thread thread_;
};

}  // namespace scalino::test
