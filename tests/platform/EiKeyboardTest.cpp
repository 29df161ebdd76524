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
#include "platform/EisServer.h"
#include "platform/RecordingKeyboard.h"
#include "platform/XkbKeymap.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using Event = test::RecordingKeyboard::Event;
using test::CompiledKeymap;
using test::EisServer;
using test::LibEis;
using test::compileKeymap;
using test::kHowToGet;
using test::libraryFile;

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
