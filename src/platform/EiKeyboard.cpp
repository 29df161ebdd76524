#include "platform/EiKeyboard.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/XkbCharacterTable.h"
#include "platform/XkbKeymap.h"
#include "worker/KeyEventGenerator.h"

// The part of libei's C API (libei.h of libei 1.x, stable since 1.0) this file uses, declared
// here instead of included, so that building needs no libei: the library is loaded at run time.
// The numbers are libei's own and must stay as its header has them.
extern "C" {
struct ei;
struct ei_device;
struct ei_seat;
struct ei_event;
struct ei_keymap;
}

namespace scalino {

namespace {

enum EiEventType : int {
    EI_EVENT_CONNECT = 1,
    EI_EVENT_DISCONNECT = 2,
    EI_EVENT_SEAT_ADDED = 3,
    EI_EVENT_SEAT_REMOVED = 4,
    EI_EVENT_DEVICE_ADDED = 5,
    EI_EVENT_DEVICE_REMOVED = 6,
    EI_EVENT_DEVICE_PAUSED = 7,
    EI_EVENT_DEVICE_RESUMED = 8,
    EI_EVENT_KEYBOARD_MODIFIERS = 9,
};
constexpr int EI_DEVICE_CAP_KEYBOARD = 1 << 2;
constexpr int EI_KEYMAP_TYPE_XKB = 1;
constexpr int EI_LOG_PRIORITY_ERROR = 40;

// A keymap larger than this is not one: a desktop's is some 60 KiB.
constexpr size_t kMaxKeymapSize = 1 << 20;

const char kInstead[] =
    "typing through the remote-desktop portal's input emulation (EIS) needs libei 1.x, in the "
    "package libei1 (Debian 13, Ubuntu 24.04 and later); without it, the portal's own keys "
    "(--keyboard portal without EIS) and the other ways of --keyboard still work";

// libei, loaded with dlopen, and the functions of it this file calls.
class EiLibrary {
public:
    // Throws KeyEventError saying what to do when the library or one of its functions is missing.
    static std::shared_ptr<EiLibrary> load(const std::string& file) {
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = dlerror();
            throw KeyEventError("cannot load libei (" + std::string(error ? error : file) +
                                "): " + kInstead);
        }
        std::shared_ptr<EiLibrary> library(new EiLibrary(handle));
        library->resolve(file);
        return library;
    }
    ~EiLibrary() { dlclose(handle_); }
    EiLibrary(const EiLibrary&) = delete;
    EiLibrary& operator=(const EiLibrary&) = delete;

    ei* (*new_sender)(void* userData) = nullptr;
    ei* (*unref)(ei* context) = nullptr;
    void (*log_set_priority)(ei* context, int priority) = nullptr;
    void (*configure_name)(ei* context, const char* name) = nullptr;
    int (*setup_backend_fd)(ei* context, int fd) = nullptr;
    int (*get_fd)(ei* context) = nullptr;
    void (*dispatch)(ei* context) = nullptr;
    ei_event* (*get_event)(ei* context) = nullptr;
    uint64_t (*now)(ei* context) = nullptr;
    ei_event* (*event_unref)(ei_event* event) = nullptr;
    int (*event_get_type)(ei_event* event) = nullptr;
    ei_seat* (*event_get_seat)(ei_event* event) = nullptr;
    ei_device* (*event_get_device)(ei_event* event) = nullptr;
    uint32_t (*event_keyboard_get_xkb_mods_locked)(ei_event* event) = nullptr;
    uint32_t (*event_keyboard_get_xkb_group)(ei_event* event) = nullptr;
    bool (*seat_has_capability)(ei_seat* seat, int capability) = nullptr;
    void (*seat_bind_capabilities)(ei_seat* seat, ...) = nullptr;
    ei_seat* (*seat_ref)(ei_seat* seat) = nullptr;
    ei_seat* (*seat_unref)(ei_seat* seat) = nullptr;
    ei_device* (*device_ref)(ei_device* device) = nullptr;
    ei_device* (*device_unref)(ei_device* device) = nullptr;
    bool (*device_has_capability)(ei_device* device, int capability) = nullptr;
    ei_keymap* (*device_keyboard_get_keymap)(ei_device* device) = nullptr;
    size_t (*keymap_get_size)(ei_keymap* keymap) = nullptr;
    int (*keymap_get_type)(ei_keymap* keymap) = nullptr;
    int (*keymap_get_fd)(ei_keymap* keymap) = nullptr;
    void (*device_start_emulating)(ei_device* device, uint32_t sequence) = nullptr;
    void (*device_keyboard_key)(ei_device* device, uint32_t key, bool press) = nullptr;
    void (*device_frame)(ei_device* device, uint64_t time) = nullptr;

private:
    explicit EiLibrary(void* handle) : handle_(handle) {}

    template <typename Function>
    void find(Function& function, const char* name, const std::string& file) {
        void* symbol = dlsym(handle_, name);
        if (symbol == nullptr) {
            throw KeyEventError(file + " is not libei 1.x: it lacks " + name + "; " + kInstead);
        }
        function = reinterpret_cast<Function>(symbol);
    }

    void resolve(const std::string& file) {
        find(new_sender, "ei_new_sender", file);
        find(unref, "ei_unref", file);
        find(log_set_priority, "ei_log_set_priority", file);
        find(configure_name, "ei_configure_name", file);
        find(setup_backend_fd, "ei_setup_backend_fd", file);
        find(get_fd, "ei_get_fd", file);
        find(dispatch, "ei_dispatch", file);
        find(get_event, "ei_get_event", file);
        find(now, "ei_now", file);
        find(event_unref, "ei_event_unref", file);
        find(event_get_type, "ei_event_get_type", file);
        find(event_get_seat, "ei_event_get_seat", file);
        find(event_get_device, "ei_event_get_device", file);
        find(event_keyboard_get_xkb_mods_locked, "ei_event_keyboard_get_xkb_mods_locked", file);
        find(event_keyboard_get_xkb_group, "ei_event_keyboard_get_xkb_group", file);
        find(seat_has_capability, "ei_seat_has_capability", file);
        find(seat_bind_capabilities, "ei_seat_bind_capabilities", file);
        find(seat_ref, "ei_seat_ref", file);
        find(seat_unref, "ei_seat_unref", file);
        find(device_ref, "ei_device_ref", file);
        find(device_unref, "ei_device_unref", file);
        find(device_has_capability, "ei_device_has_capability", file);
        find(device_keyboard_get_keymap, "ei_device_keyboard_get_keymap", file);
        find(keymap_get_size, "ei_keymap_get_size", file);
        find(keymap_get_type, "ei_keymap_get_type", file);
        find(keymap_get_fd, "ei_keymap_get_fd", file);
        find(device_start_emulating, "ei_device_start_emulating", file);
        find(device_keyboard_key, "ei_device_keyboard_key", file);
        find(device_frame, "ei_device_frame", file);
    }

    void* handle_;
};

// The modifier masks of the lock keys in a keymap: Caps Lock's is the Lock modifier, NumLock's
// what the keymap's Num_Lock key locks (Mod2 where it has none).
struct LockMasks {
    uint32_t capsLock = 0;
    uint32_t numLock = 0;
};

LockMasks lockMasks(xkb_keymap* keymap) {
    LockMasks masks;
    const xkb_mod_index_t lock = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CAPS);
    if (lock != XKB_MOD_INVALID) masks.capsLock = 1u << lock;
    xkb_state* state = xkb_state_new(keymap);
    if (state != nullptr) {
        for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap);
             key <= xkb_keymap_max_keycode(keymap) && masks.numLock == 0; ++key) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, 0, &syms);
            if (count != 1 || syms[0] != XKB_KEY_Num_Lock) continue;
            xkb_state_update_key(state, key, XKB_KEY_DOWN);
            xkb_state_update_key(state, key, XKB_KEY_UP);
            masks.numLock = xkb_state_serialize_mods(state, XKB_STATE_MODS_LOCKED);
        }
        xkb_state_unref(state);
    }
    if (masks.numLock == 0) {
        const xkb_mod_index_t mod2 = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_NUM);
        if (mod2 != XKB_MOD_INVALID) masks.numLock = 1u << mod2;
    }
    return masks;
}

std::string seconds(std::chrono::milliseconds timeout) {
    const auto count = timeout.count();
    if (count % 1000 == 0) return std::to_string(count / 1000) + " s";
    return std::to_string(count) + " ms";
}

}  // namespace

// The connection to the EIS server and what it said, shared by the keyboard and its layouts.
struct EiKeyboard::Connection {
    // One keyboard device of the server's seat.
    struct Device {
        ei_device* device = nullptr;
        std::string keymap;  // its keymap as text; empty without one
        LockMasks masks;
        bool resumed = false;
        uint32_t lockedModifiers = 0;
        uint32_t group = 0;
    };

    // Declared first: released after the connection it was kept for.
    std::shared_ptr<void> session;
    std::shared_ptr<EiLibrary> library;
    std::chrono::milliseconds timeout;
    std::mutex mutex;  // everything below, and every call into libei
    ei* context = nullptr;
    int socket = -1;              // the context's, to see whether it takes more
    ei_seat* seat = nullptr;      // the one bound to
    std::vector<Device> devices;  // the keyboards, in the order added; the last is the one used
    uint32_t sequence = 0;
    bool connected = false;
    bool disconnected = false;

    ~Connection() {
        for (Device& device : devices)
            library->device_unref(device.device);
        if (seat != nullptr) library->seat_unref(seat);
        if (context != nullptr) library->unref(context);
    }

    Device* current() { return devices.empty() ? nullptr : &devices.back(); }

    // Handles what the server sent, waiting up to waitMs for it to send something.
    void takeEvents(int waitMs) {
        if (disconnected) return;
        pollfd readable{library->get_fd(context), POLLIN, 0};
        if (poll(&readable, 1, waitMs) > 0) library->dispatch(context);
        while (ei_event* event = library->get_event(context)) {
            handle(event);
            library->event_unref(event);
        }
    }

    void handle(ei_event* event) {
        switch (library->event_get_type(event)) {
            case EI_EVENT_CONNECT: connected = true; break;
            case EI_EVENT_DISCONNECT: disconnected = true; break;
            case EI_EVENT_SEAT_ADDED: {
                ei_seat* added = library->event_get_seat(event);
                if (seat == nullptr &&
                    library->seat_has_capability(added, EI_DEVICE_CAP_KEYBOARD)) {
                    seat = library->seat_ref(added);
                    library->seat_bind_capabilities(seat, EI_DEVICE_CAP_KEYBOARD, nullptr);
                }
                break;
            }
            case EI_EVENT_SEAT_REMOVED:
                if (library->event_get_seat(event) == seat) {
                    library->seat_unref(seat);
                    seat = nullptr;
                }
                break;
            case EI_EVENT_DEVICE_ADDED: {
                ei_device* added = library->event_get_device(event);
                if (!library->device_has_capability(added, EI_DEVICE_CAP_KEYBOARD)) break;
                Device device;
                device.device = library->device_ref(added);
                device.keymap = readKeymap(added);
                if (!device.keymap.empty()) {
                    try {
                        device.masks = lockMasks(XkbKeymap::fromString(device.keymap).get());
                    } catch (const KeyEventError&) {
                        device.keymap.clear();  // none that can be read: as without one
                    }
                }
                devices.push_back(std::move(device));
                break;
            }
            case EI_EVENT_DEVICE_REMOVED:
                if (Device* device = find(library->event_get_device(event))) {
                    library->device_unref(device->device);
                    devices.erase(devices.begin() + (device - devices.data()));
                }
                break;
            case EI_EVENT_DEVICE_PAUSED:
                if (Device* device = find(library->event_get_device(event)))
                    device->resumed = false;
                break;
            case EI_EVENT_DEVICE_RESUMED:
                if (Device* device = find(library->event_get_device(event))) {
                    device->resumed = true;
                    library->device_start_emulating(device->device, ++sequence);
                }
                break;
            case EI_EVENT_KEYBOARD_MODIFIERS:
                if (Device* device = find(library->event_get_device(event))) {
                    device->lockedModifiers = library->event_keyboard_get_xkb_mods_locked(event);
                    device->group = library->event_keyboard_get_xkb_group(event);
                }
                break;
            default: break;  // pings are answered when the event is let go
        }
    }

    // Handles what the server sent; where it has no keyboard device (one removed, the next not
    // yet added, as when the desktop's layout changes) waits up to the timeout for one, as typing
    // would.
    void awaitDevice() {
        takeEvents(0);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (devices.empty() && !disconnected) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            takeEvents(static_cast<int>(std::min<long long>(left.count(), 1000)));
        }
    }

    Device* find(ei_device* device) {
        for (Device& known : devices) {
            if (known.device == device) return &known;
        }
        return nullptr;
    }

    // The device's keymap as text; empty where it has none of XKB or it cannot be read.
    std::string readKeymap(ei_device* device) {
        ei_keymap* keymap = library->device_keyboard_get_keymap(device);
        if (keymap == nullptr || library->keymap_get_type(keymap) != EI_KEYMAP_TYPE_XKB) return "";
        const size_t size = library->keymap_get_size(keymap);
        if (size == 0 || size > kMaxKeymapSize) return "";
        void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, library->keymap_get_fd(keymap), 0);
        if (data == MAP_FAILED) return "";
        std::string text(static_cast<const char*>(data), size);
        munmap(data, size);
        text.resize(std::strlen(text.c_str()));  // the text ends at its first NUL
        return text;
    }

    [[noreturn]] void throwGone() const {
        if (!connected) {
            throw KeyEventError("the EIS server (the desktop's input emulation) refused the "
                                "connection; choose another way with --keyboard");
        }
        throw KeyEventError("the EIS server (the desktop's input emulation) closed the "
                            "connection: the remote-desktop session ended; start typing again");
    }

    // Handles what the server sent and waits, up to the timeout, until the current keyboard
    // device lets keys through; throws KeyEventError when none does. doing: for the message.
    Device& keyboard(const char* doing) {
        takeEvents(0);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (disconnected) throwGone();
            Device* device = current();
            if (device != nullptr && device->resumed) return *device;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                std::string reason;
                if (!connected) {
                    reason = "the EIS server did not answer";
                } else if (seat == nullptr) {
                    reason = "the EIS server offered no seat with a keyboard";
                } else if (device == nullptr) {
                    reason = "the EIS server gave no keyboard device";
                } else {
                    reason = "the EIS server kept its keyboard device paused";
                }
                throw KeyEventError(reason + " within " + seconds(timeout) + " " + doing +
                                    "; choose another way with --keyboard");
            }
            takeEvents(static_cast<int>(std::min<long long>(left.count(), 1000)));
        }
    }

    // Waits, up to the timeout, until the socket has room. libei keeps a message the socket
    // does not take at once and sends it only with the next one, or from a dispatch once the
    // socket has room: the last keys of a text would wait there. Sent only while the socket has
    // room, none waits.
    void awaitRoom(const char* doing) {
        pollfd writable{socket, POLLOUT, 0};
        if (poll(&writable, 1, static_cast<int>(timeout.count())) == 0) {
            throw KeyEventError("the EIS server took no keys for " + seconds(timeout) + " " +
                                doing + "; choose another way with --keyboard");
        }
    }

    void send(int key, bool down) {
        std::lock_guard lock(mutex);
        const char* doing = down ? "to press a key" : "to release a key";
        Device& device = keyboard(doing);
        awaitRoom(doing);
        library->device_keyboard_key(device.device, static_cast<uint32_t>(key), down);
        library->device_frame(device.device, library->now(context));
        takeEvents(0);
        if (disconnected) throwGone();
    }
};

namespace {

// The layout of the server's keyboard device: its keymap, in the group the server's modifiers
// last said, read again where either changed since the last text.
class EiDesktopLayout : public DesktopLayout {
public:
    explicit EiDesktopLayout(std::shared_ptr<EiKeyboard::Connection> connection)
        : connection_(std::move(connection)) {}

    // Throws KeyEventError when the keymap cannot be read.
    void start() {
        follow();
        if (!keymap_) throw KeyEventError("the EIS server's keymap cannot be read");
    }

    const XkbCharacterTable& characters() override {
        follow();
        return *table_;
    }
    std::string name() override {
        follow();
        return keymap_->layoutName(group_);
    }

private:
    // A keymap or group the server changed; one that cannot be read leaves the last.
    void follow() {
        std::string text;
        uint32_t group = 0;
        {
            std::lock_guard lock(connection_->mutex);
            connection_->awaitDevice();
            // The last device with a keymap: one without leaves which applies to the server.
            for (auto device = connection_->devices.rbegin(); device != connection_->devices.rend();
                 ++device) {
                if (device->keymap.empty()) continue;
                text = device->keymap;
                group = device->group;
                break;
            }
        }
        if (text.empty()) return;
        bool changed = false;
        if (!keymap_ || text != text_) {
            try {
                keymap_.emplace(XkbKeymap::fromString(text));
                text_ = std::move(text);
                changed = true;
            } catch (const KeyEventError&) {
                if (!keymap_) return;
            }
        }
        const xkb_layout_index_t groups = xkb_keymap_num_layouts(keymap_->get());
        group = groups > 0 ? group % groups : 0;
        if (changed || group != group_ || !table_) {
            group_ = group;
            table_ = std::make_unique<XkbCharacterTable>(*keymap_, group_);
        }
    }

    std::shared_ptr<EiKeyboard::Connection> connection_;
    std::string text_;
    std::optional<XkbKeymap> keymap_;
    unsigned group_ = 0;
    std::unique_ptr<XkbCharacterTable> table_;
};

}  // namespace

bool EiKeyboard::libraryAvailable(const std::string& library) {
    try {
        return EiLibrary::load(library) != nullptr;
    } catch (const KeyEventError&) {
        return false;
    }
}

std::unique_ptr<EiKeyboard> EiKeyboard::open(int eisFd, std::shared_ptr<void> session,
                                             std::chrono::milliseconds timeout,
                                             const std::string& library) {
    std::shared_ptr<EiLibrary> ei;
    try {
        ei = EiLibrary::load(library);
    } catch (...) {
        close(eisFd);
        throw;
    }
    auto connection = std::make_shared<Connection>();
    connection->session = std::move(session);
    connection->library = ei;
    connection->timeout = timeout;
    connection->context = ei->new_sender(nullptr);
    if (connection->context == nullptr) {
        close(eisFd);
        throw KeyEventError("cannot start libei (out of memory?)");
    }
    ei->log_set_priority(connection->context, EI_LOG_PRIORITY_ERROR);
    ei->configure_name(connection->context, "Scalino");
    // libei reads until the socket has no more, which only a socket that does not block tells.
    const int flags = fcntl(eisFd, F_GETFL);
    if (flags != -1) fcntl(eisFd, F_SETFL, flags | O_NONBLOCK);
    fcntl(eisFd, F_SETFD, FD_CLOEXEC);
    // The context owns the socket from here on, also when it fails.
    connection->socket = eisFd;
    const int result = ei->setup_backend_fd(connection->context, eisFd);
    if (result < 0) {
        throw KeyEventError("cannot talk to the EIS server through libei: " +
                            std::string(std::strerror(-result)));
    }
    {
        std::lock_guard lock(connection->mutex);
        connection->keyboard("to type");
    }
    return std::unique_ptr<EiKeyboard>(new EiKeyboard(std::move(connection)));
}

EiKeyboard::EiKeyboard(std::shared_ptr<Connection> connection)
    : connection_(std::move(connection)) {}

EiKeyboard::~EiKeyboard() = default;

void EiKeyboard::press(int key) {
    connection_->send(key, true);
}

void EiKeyboard::release(int key) {
    connection_->send(key, false);
}

bool EiKeyboard::isLedOn(KeyboardLed led) {
    std::lock_guard lock(connection_->mutex);
    connection_->takeEvents(0);
    const Connection::Device* device = connection_->current();
    if (device == nullptr) return false;
    const uint32_t mask =
        led == KeyboardLed::CapsLock ? device->masks.capsLock : device->masks.numLock;
    return (device->lockedModifiers & mask) != 0;
}

std::string EiKeyboard::method() const {
    return "the remote-desktop portal (libei)";
}

std::unique_ptr<DesktopLayout> EiKeyboard::receiverLayout() const {
    {
        std::lock_guard lock(connection_->mutex);
        connection_->takeEvents(0);
        bool any = false;
        for (const Connection::Device& device : connection_->devices)
            any = any || !device.keymap.empty();
        if (!any) return nullptr;
    }
    auto layout = std::make_unique<EiDesktopLayout>(connection_);
    layout->start();
    return layout;
}

}  // namespace scalino
