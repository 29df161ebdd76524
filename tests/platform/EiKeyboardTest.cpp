// Typing through libei into a real EIS server: one made with libeis in the test process, as
// GNOME's and KDE's are, which offers a seat with a keyboard, adds a keyboard device with an XKB
// keymap compiled from the system's layouts, and records the keys it receives. What it receives
// is what the desktop's applications would: the key codes for the layout of the device's keymap,
// which the keyboard's receiver layout follows when the server changes it.
//
// libei and libeis are loaded at run time, as the program loads libei: from the folder
// scripts/fetch-libei.sh fills in the build tree (SCALINO_LIBEI_DIR/lib) where it has them, else
// from the system (packages libei1 and libeis1). Without them the tests skip.
#include "platform/EiKeyboard.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/DesktopLayout.h"
#include "platform/RecordingKeyboard.h"
#include "platform/XkbKeymap.h"
#include "worker/KeyEventGenerator.h"

// The part of libeis's C API (libeis.h of libei 1.x) the server uses.
extern "C" {
struct eis;
struct eis_client;
struct eis_device;
struct eis_seat;
struct eis_event;
struct eis_keymap;
}

namespace scalino {
namespace {

using namespace std::chrono_literals;
using Event = test::RecordingKeyboard::Event;

enum : int {
    EIS_EVENT_CLIENT_CONNECT = 1,
    EIS_EVENT_CLIENT_DISCONNECT = 2,
    EIS_EVENT_SEAT_BIND = 3,
    EIS_EVENT_KEYBOARD_KEY = 700,
    EIS_DEVICE_CAP_KEYBOARD = 1 << 2,
    EIS_KEYMAP_TYPE_XKB = 1,
    EIS_LOG_PRIORITY_ERROR = 40,
};

// Where a library of libei is loaded from: the build tree's folder where it has it.
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
    std::string load() {
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
};

// A keymap compiled from the system's XKB data: layouts "us" or "us,de" (a group each),
// variants alike.
struct CompiledKeymap {
    std::string text;
    uint32_t capsLockMask = 0;
    uint32_t numLockMask = 0;
};

CompiledKeymap compileKeymap(const std::string& layouts, const std::string& variants = "") {
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
    std::vector<Event> takeKeys(size_t count) {
        std::unique_lock lock(mutex_);
        received_.wait_for(lock, 5s, [&] { return keys_.size() >= count; });
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
    std::vector<Event> keys_;
    std::vector<std::function<void()>> changes_;
    std::thread thread_;
};

std::string everyPrintableAsciiCharacter() {
    std::string text;
    for (char c = 0x20; c <= 0x7E; ++c)
        text += c;
    return text;
}

// The keys a text is typed with, one text through the typing engine's key codes.
void typeText(DesktopKeyEvents& keys, const std::string& text) {
    keys.startText();
    for (char c : text) {
        const int code = VirtualKey::character(static_cast<unsigned char>(c));
        keys.keyPress(code);
        keys.keyRelease(code);
    }
}

// What DesktopKeyEvents sends for a text on a keymap, to a keyboard that keeps it.
std::vector<Event> keysOnKeymap(const std::string& keymap, const std::string& text) {
    auto keyboard = std::make_unique<test::RecordingKeyboard>();
    test::RecordingKeyboard& recorded = *keyboard;
    DesktopKeyEvents keys(std::make_unique<KeymapDesktopLayout>(XkbKeymap::fromString(keymap)),
                          std::move(keyboard));
    typeText(keys, text);
    return recorded.events();
}

std::string transcript(const std::vector<Event>& events) {
    return test::RecordingKeyboard::transcript(events);
}

// A key tapped, with Shift held around it where shifted.
std::vector<Event> tap(int key, bool shifted = false) {
    if (shifted) return {{true, KEY_LEFTSHIFT}, {true, key}, {false, key}, {false, KEY_LEFTSHIFT}};
    return {{true, key}, {false, key}};
}

std::vector<Event> taps(std::initializer_list<std::vector<Event>> parts) {
    std::vector<Event> events;
    for (const auto& part : parts)
        events.insert(events.end(), part.begin(), part.end());
    return events;
}

class EiKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string failure = eis_.load();
        if (!failure.empty()) GTEST_SKIP() << failure;
        void* ei = dlopen(libraryFile(EiKeyboard::kLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (ei == nullptr) GTEST_SKIP() << "cannot load " << EiKeyboard::kLibrary << kHowToGet;
        dlclose(ei);
    }

    // A server with the keymap and a keyboard connected to it, typing through DesktopKeyEvents on
    // the keyboard's receiver layout.
    void start(const std::string& keymap) {
        server_ = std::make_unique<EisServer>(eis_, keymap);
        auto keyboard = EiKeyboard::open(server_->takeClientFd(), nullptr, 5s,
                                         libraryFile(EiKeyboard::kLibrary));
        keyboard_ = keyboard.get();
        auto layout = keyboard->receiverLayout();
        ASSERT_NE(layout, nullptr);
        keys_ = std::make_unique<DesktopKeyEvents>(std::move(layout), std::move(keyboard));
    }

    LibEis eis_;
    std::unique_ptr<EisServer> server_;
    EiKeyboard* keyboard_ = nullptr;
    std::unique_ptr<DesktopKeyEvents> keys_;
};

struct TypingCase {
    std::string layout;
    std::string text;
    std::vector<Event> keys;  // none: what DesktopKeyEvents sends on the layout's own keymap
};

void PrintTo(const TypingCase& typing, std::ostream* out) {
    *out << typing.layout << " \"" << typing.text << "\"";
}

TEST_F(EiKeyboardTest, TextsArriveAsTheKeysOfTheDevicesKeymap) {
    const std::vector<TypingCase> cases = {
        {"us", "-1234.5678",
         taps({tap(KEY_MINUS), tap(KEY_1), tap(KEY_2), tap(KEY_3), tap(KEY_4), tap(KEY_DOT),
               tap(KEY_5), tap(KEY_6), tap(KEY_7), tap(KEY_8)})},
        {"us", "Y-Z/", taps({tap(KEY_Y, true), tap(KEY_MINUS), tap(KEY_Z, true), tap(KEY_SLASH)})},
        {"us", everyPrintableAsciiCharacter(), {}},
        {"de", "-1234.5678",
         taps({tap(KEY_SLASH), tap(KEY_1), tap(KEY_2), tap(KEY_3), tap(KEY_4), tap(KEY_DOT),
               tap(KEY_5), tap(KEY_6), tap(KEY_7), tap(KEY_8)})},
        {"de", "Y-Z/",
         taps({tap(KEY_Z, true), tap(KEY_SLASH), tap(KEY_Y, true), tap(KEY_KPSLASH)})},
        {"de", everyPrintableAsciiCharacter(), {}},
    };
    for (const TypingCase& typing : cases) {
        SCOPED_TRACE(::testing::PrintToString(typing));
        const std::string keymap = compileKeymap(typing.layout).text;
        ASSERT_FALSE(keymap.empty());
        const auto expected = typing.keys.empty() ? keysOnKeymap(keymap, typing.text) : typing.keys;
        start(keymap);
        typeText(*keys_, typing.text);
        EXPECT_EQ(transcript(server_->takeKeys(expected.size())), transcript(expected));
        keys_.reset();
        server_.reset();
    }
}

// The server replaces its keyboard with one of another layout (a layout switched on the
// desktop): the next text is typed on it, through the same keyboard and layout.
TEST_F(EiKeyboardTest, FollowsAKeyboardOfAnotherKeymap) {
    start(compileKeymap("us").text);
    typeText(*keys_, "Y-Z/");
    EXPECT_EQ(
        transcript(server_->takeKeys(12)),
        transcript(taps({tap(KEY_Y, true), tap(KEY_MINUS), tap(KEY_Z, true), tap(KEY_SLASH)})));
    server_->replaceKeyboard(compileKeymap("fr").text);
    const auto expected = taps({tap(KEY_Y, true), tap(KEY_6), tap(KEY_W, true), tap(KEY_KPSLASH)});
    typeText(*keys_, "Y-Z/");
    EXPECT_EQ(transcript(server_->takeKeys(expected.size())), transcript(expected));
    EXPECT_EQ(transcript(keysOnKeymap(compileKeymap("fr").text, "Y-Z/")), transcript(expected));
    typeText(*keys_, everyPrintableAsciiCharacter());
    const auto ascii = keysOnKeymap(compileKeymap("fr").text, everyPrintableAsciiCharacter());
    EXPECT_EQ(transcript(server_->takeKeys(ascii.size())), transcript(ascii));
}

// A keymap of two groups, us and de: the group the server's modifiers say is the one typed
// with, from the next text.
TEST_F(EiKeyboardTest, FollowsTheGroupOfTheServersModifiers) {
    start(compileKeymap("us,de").text);
    const auto us = taps({tap(KEY_Y, true), tap(KEY_MINUS), tap(KEY_Z, true), tap(KEY_SLASH)});
    const auto de = taps({tap(KEY_Z, true), tap(KEY_SLASH), tap(KEY_Y, true), tap(KEY_KPSLASH)});
    typeText(*keys_, "Y-Z/");
    EXPECT_EQ(transcript(server_->takeKeys(us.size())), transcript(us));
    server_->sendModifiers(0, 1);
    typeText(*keys_, "Y-Z/");
    EXPECT_EQ(transcript(server_->takeKeys(de.size())), transcript(de));
    server_->sendModifiers(0, 0);
    typeText(*keys_, "Y-Z/");
    EXPECT_EQ(transcript(server_->takeKeys(us.size())), transcript(us));
}

TEST_F(EiKeyboardTest, TheLightsAreTheServersLockedModifiers) {
    const CompiledKeymap keymap = compileKeymap("us");
    start(keymap.text);
    EXPECT_FALSE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    EXPECT_FALSE(keyboard_->isLedOn(KeyboardLed::NumLock));
    server_->sendModifiers(keymap.capsLockMask, 0);
    EXPECT_TRUE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    EXPECT_FALSE(keyboard_->isLedOn(KeyboardLed::NumLock));
    server_->sendModifiers(keymap.numLockMask, 0);
    EXPECT_FALSE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    EXPECT_TRUE(keyboard_->isLedOn(KeyboardLed::NumLock));
    // With Caps Lock on, letters still arrive as asked: Shift is left off for a capital.
    server_->sendModifiers(keymap.capsLockMask, 0);
    typeText(*keys_, "A");
    EXPECT_EQ(transcript(server_->takeKeys(2)), transcript(tap(KEY_A)));
}

TEST_F(EiKeyboardTest, KeepsTheSessionAsLongAsTheConnection) {
    auto session = std::make_shared<int>(1);
    const std::weak_ptr<int> kept = session;
    server_ = std::make_unique<EisServer>(eis_, compileKeymap("us").text);
    auto keyboard = EiKeyboard::open(server_->takeClientFd(), std::move(session), 5s,
                                     libraryFile(EiKeyboard::kLibrary));
    EXPECT_EQ(keyboard->method(), "the remote-desktop portal (libei)");
    auto layout = keyboard->receiverLayout();
    keyboard.reset();
    EXPECT_FALSE(kept.expired());  // the layout still reads the connection
    layout.reset();
    EXPECT_TRUE(kept.expired());
}

TEST_F(EiKeyboardTest, AServerThatGoesAwayIsAnErrorNotAHang) {
    start(compileKeymap("us").text);
    keyboard_->press(KEY_A);
    keyboard_->release(KEY_A);
    EXPECT_EQ(server_->takeKeys(2).size(), 2u);
    server_->stop();
    const auto start = std::chrono::steady_clock::now();
    try {
        keyboard_->press(KEY_A);
        keyboard_->release(KEY_A);
        FAIL() << "no error";
    } catch (const KeyEventError& error) {
        EXPECT_NE(std::string(error.what()).find("closed the connection"), std::string::npos)
            << error.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    // The layout keeps the last keymap.
    EXPECT_TRUE(keys_->layout().characters().canType(U'a'));
}

// A keyboard the server does not let send (paused) or takes away: an error after the timeout,
// and keys go through again once it is back.
TEST_F(EiKeyboardTest, AKeyboardPausedOrRemovedForTooLongIsAnError) {
    server_ = std::make_unique<EisServer>(eis_, compileKeymap("us").text,
                                          EisServer::Offer::PausedKeyboard);
    const int fd = server_->takeClientFd();
    try {
        EiKeyboard::open(fd, nullptr, 300ms, libraryFile(EiKeyboard::kLibrary));
        FAIL() << "no error";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the EIS server kept its keyboard device paused within 300 ms to type; choose "
                  "another way with --keyboard");
    }
    server_ = std::make_unique<EisServer>(eis_, compileKeymap("us").text);
    auto keyboard = EiKeyboard::open(server_->takeClientFd(), nullptr, 300ms,
                                     libraryFile(EiKeyboard::kLibrary));
    server_->removeKeyboardDevice();
    try {
        keyboard->press(KEY_A);
        FAIL() << "no error";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the EIS server gave no keyboard device within 300 ms to press a key; choose "
                  "another way with --keyboard");
    }
    server_->replaceKeyboard(compileKeymap("us").text);
    keyboard->press(KEY_B);
    keyboard->release(KEY_B);
    EXPECT_EQ(transcript(server_->takeKeys(2)), transcript(tap(KEY_B)));
}

TEST_F(EiKeyboardTest, AServerWithoutAKeyboardIsAnError) {
    server_ = std::make_unique<EisServer>(eis_, "", EisServer::Offer::NoSeat);
    try {
        EiKeyboard::open(server_->takeClientFd(), nullptr, 300ms,
                         libraryFile(EiKeyboard::kLibrary));
        FAIL() << "no error";
    } catch (const KeyEventError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the EIS server offered no seat with a keyboard within 300 ms to type; choose "
                  "another way with --keyboard");
    }
}

// Without the library: a message that says what to install and what works instead; the socket
// is closed all the same. Needs neither library.
TEST(EiKeyboardLibraryTest, AMissingLibraryIsAClearError) {
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
    try {
        EiKeyboard::open(sockets[0], nullptr, 1s, "/nonexistent/libei.so.1");
        FAIL() << "no error";
    } catch (const KeyEventError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with("cannot load libei (/nonexistent/libei.so.1")) << message;
        EXPECT_TRUE(message.ends_with(
            "typing through the remote-desktop portal's input emulation (EIS) needs libei 1.x, in "
            "the package libei1 (Debian 13, Ubuntu 24.04 and later); without it, the portal's own "
            "keys (--keyboard portal without EIS) and the other ways of --keyboard still work"))
            << message;
    }
    EXPECT_EQ(fcntl(sockets[0], F_GETFD), -1);
    close(sockets[1]);
}

TEST(EiKeyboardLibraryTest, ALibraryThatIsNotLibeiIsAClearError) {
    int sockets[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
    try {
        EiKeyboard::open(sockets[0], nullptr, 1s, "libc.so.6");
        FAIL() << "no error";
    } catch (const KeyEventError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with("libc.so.6 is not libei 1.x: it lacks ei_new_sender; "))
            << message;
        EXPECT_NE(message.find("package libei1"), std::string::npos) << message;
    }
    close(sockets[1]);
}

}  // namespace
}  // namespace scalino
