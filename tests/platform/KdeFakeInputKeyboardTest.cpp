// Typing through KWin's fake input (org_kde_kwin_fake_input), against FakeInputServer: a small
// server of libwayland-server that stands for KWin, which cannot run in the tests (see its
// header). The keyboard says who it is before any key, types each value as exactly the keys the
// seat's layout needs, and says what to do where the protocol is missing or too old.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/FakeInputServer.h"
#include "platform/KdeFakeInputKeyboard.h"
#include "platform/XkbKeymap.h"
#include "support/Failure.h"
#include "support/ReportingView.h"
#include "worker/KeyEventGenerator.h"
#include "worker/Keybot.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;
using test::FakeInputServer;
using test::ReportingView;

// The evdev names of the keys the layouts below type with, for readable sequences.
std::string keyName(uint32_t key) {
    static const std::map<uint32_t, std::string> names = [] {
        std::map<uint32_t, std::string> map;
        const char* letters = "QWERTYUIOP";
        for (int i = 0; i < 10; ++i)
            map[KEY_Q + i] = std::string(1, letters[i]);
        letters = "ASDFGHJKL";
        for (int i = 0; i < 9; ++i)
            map[KEY_A + i] = std::string(1, letters[i]);
        letters = "ZXCVBNM";
        for (int i = 0; i < 7; ++i)
            map[KEY_Z + i] = std::string(1, letters[i]);
        for (int i = 0; i < 9; ++i)
            map[KEY_1 + i] = std::to_string(i + 1);
        map[KEY_0] = "0";
        map[KEY_MINUS] = "MINUS";
        map[KEY_EQUAL] = "EQUAL";
        map[KEY_LEFTBRACE] = "LEFTBRACE";
        map[KEY_RIGHTBRACE] = "RIGHTBRACE";
        map[KEY_SEMICOLON] = "SEMICOLON";
        map[KEY_APOSTROPHE] = "APOSTROPHE";
        map[KEY_GRAVE] = "GRAVE";
        map[KEY_BACKSLASH] = "BACKSLASH";
        map[KEY_COMMA] = "COMMA";
        map[KEY_DOT] = "DOT";
        map[KEY_SLASH] = "SLASH";
        map[KEY_SPACE] = "SPACE";
        map[KEY_102ND] = "102ND";
        map[KEY_LEFTSHIFT] = "LEFTSHIFT";
        map[KEY_RIGHTSHIFT] = "RIGHTSHIFT";
        map[KEY_RIGHTALT] = "RIGHTALT";
        map[KEY_CAPSLOCK] = "CAPSLOCK";
        map[KEY_NUMLOCK] = "NUMLOCK";
        map[KEY_KPASTERISK] = "KPASTERISK";
        map[KEY_KPPLUS] = "KPPLUS";
        map[KEY_KPSLASH] = "KPSLASH";
        return map;
    }();
    const auto name = names.find(key);
    return name != names.end() ? name->second : "#" + std::to_string(key);
}

// The keys KWin received, as "+LEFTSHIFT +Y -Y -LEFTSHIFT"; any other request by its name.
std::string keysOf(const std::vector<FakeInputServer::Request>& requests) {
    std::string keys;
    for (const auto& request : requests) {
        if (!keys.empty()) keys += ' ';
        if (request.name != "keyboard_key") {
            keys += request.name;
        } else {
            keys += (request.state == 1   ? "+"
                     : request.state == 0 ? "-"
                                          : "?") +
                    keyName(request.key);
        }
    }
    return keys;
}

// What an application reads from the keys with the keymap, as KWin hands them on: each press
// through the keymap's state and the locale's compose table (dead keys).
std::string textOf(const std::vector<FakeInputServer::Request>& requests, const XkbKeymap& keymap) {
    xkb_state* state = xkb_state_new(keymap.get());
    xkb_compose_table* table = localeComposeTable();
    xkb_compose_state* compose =
        table != nullptr ? xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS) : nullptr;
    std::string text;
    for (const auto& request : requests) {
        if (request.name != "keyboard_key") continue;
        const xkb_keycode_t keycode = request.key + 8;
        if (request.state == 1) {
            const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state, keycode);
            char utf8[16] = {};
            if (compose != nullptr &&
                xkb_compose_state_feed(compose, keysym) == XKB_COMPOSE_FEED_ACCEPTED) {
                const auto status = xkb_compose_state_get_status(compose);
                if (status == XKB_COMPOSE_COMPOSED) {
                    xkb_compose_state_get_utf8(compose, utf8, sizeof utf8);
                    xkb_compose_state_reset(compose);
                } else if (status == XKB_COMPOSE_NOTHING) {
                    xkb_state_key_get_utf8(state, keycode, utf8, sizeof utf8);
                } else if (status == XKB_COMPOSE_CANCELLED) {
                    xkb_compose_state_reset(compose);
                }
            } else {
                xkb_state_key_get_utf8(state, keycode, utf8, sizeof utf8);
            }
            text += utf8;
        }
        xkb_state_update_key(state, keycode, request.state == 1 ? XKB_KEY_DOWN : XKB_KEY_UP);
    }
    if (compose != nullptr) xkb_compose_state_unref(compose);
    xkb_state_unref(state);
    return text;
}

std::string everyPrintableAsciiCharacter() {
    std::string text;
    for (char c = 0x20; c <= 0x7E; ++c)
        text += c;
    return text;
}

// A value typed on a seat with a layout, and the keys of that layout's characters.
struct TypingCase {
    const char* layout;
    std::string text;
    const std::map<char, std::string>* keys;
};

// gtest names the case by its layout and text instead of printing its bytes.
void PrintTo(const TypingCase& typing, std::ostream* out) {
    *out << typing.layout << " \"" << typing.text << "\"";
}

// A key alone, or with Shift or AltGr around it, as DesktopKeyEvents presses a chord.
std::string shifted(const std::string& key) {
    return "+LEFTSHIFT +" + key + " -" + key + " -LEFTSHIFT";
}
std::string plain(const std::string& key) {
    return "+" + key + " -" + key;
}
std::string altGr(const std::string& key) {
    return "+RIGHTALT +" + key + " -" + key + " -RIGHTALT";
}

// us: the keys of each printable ASCII character, from space to tilde. Where two keys give a
// character, the one of the lower shift level: the keypad's * and +, the pc105 key beside the
// left Shift for <.
const std::map<char, std::string> kUsKeys = {
    {' ', plain("SPACE")},
    {'!', shifted("1")},
    {'"', shifted("APOSTROPHE")},
    {'#', shifted("3")},
    {'$', shifted("4")},
    {'%', shifted("5")},
    {'&', shifted("7")},
    {'\'', plain("APOSTROPHE")},
    {'(', shifted("9")},
    {')', shifted("0")},
    {'*', plain("KPASTERISK")},
    {'+', plain("KPPLUS")},
    {',', plain("COMMA")},
    {'-', plain("MINUS")},
    {'.', plain("DOT")},
    {'/', plain("SLASH")},
    {'0', plain("0")},
    {'1', plain("1")},
    {'2', plain("2")},
    {'3', plain("3")},
    {'4', plain("4")},
    {'5', plain("5")},
    {'6', plain("6")},
    {'7', plain("7")},
    {'8', plain("8")},
    {'9', plain("9")},
    {':', shifted("SEMICOLON")},
    {';', plain("SEMICOLON")},
    {'<', plain("102ND")},
    {'=', plain("EQUAL")},
    {'>', shifted("DOT")},
    {'?', shifted("SLASH")},
    {'@', shifted("2")},
    {'A', shifted("A")},
    {'B', shifted("B")},
    {'C', shifted("C")},
    {'D', shifted("D")},
    {'E', shifted("E")},
    {'F', shifted("F")},
    {'G', shifted("G")},
    {'H', shifted("H")},
    {'I', shifted("I")},
    {'J', shifted("J")},
    {'K', shifted("K")},
    {'L', shifted("L")},
    {'M', shifted("M")},
    {'N', shifted("N")},
    {'O', shifted("O")},
    {'P', shifted("P")},
    {'Q', shifted("Q")},
    {'R', shifted("R")},
    {'S', shifted("S")},
    {'T', shifted("T")},
    {'U', shifted("U")},
    {'V', shifted("V")},
    {'W', shifted("W")},
    {'X', shifted("X")},
    {'Y', shifted("Y")},
    {'Z', shifted("Z")},
    {'[', plain("LEFTBRACE")},
    {'\\', plain("BACKSLASH")},
    {']', plain("RIGHTBRACE")},
    {'^', shifted("6")},
    {'_', shifted("MINUS")},
    {'`', plain("GRAVE")},
    {'a', plain("A")},
    {'b', plain("B")},
    {'c', plain("C")},
    {'d', plain("D")},
    {'e', plain("E")},
    {'f', plain("F")},
    {'g', plain("G")},
    {'h', plain("H")},
    {'i', plain("I")},
    {'j', plain("J")},
    {'k', plain("K")},
    {'l', plain("L")},
    {'m', plain("M")},
    {'n', plain("N")},
    {'o', plain("O")},
    {'p', plain("P")},
    {'q', plain("Q")},
    {'r', plain("R")},
    {'s', plain("S")},
    {'t', plain("T")},
    {'u', plain("U")},
    {'v', plain("V")},
    {'w', plain("W")},
    {'x', plain("X")},
    {'y', plain("Y")},
    {'z', plain("Z")},
    {'{', shifted("LEFTBRACE")},
    {'|', shifted("BACKSLASH")},
    {'}', shifted("RIGHTBRACE")},
    {'~', shifted("GRAVE")},
};

// de (QWERTZ), the same: Y and Z swap places, AltGr gives the brackets, ^ and ` are dead keys that
// space completes, and the keypad's * and / are on the lower level.
const std::map<char, std::string> kDeKeys = {
    {' ', plain("SPACE")},
    {'!', shifted("1")},
    {'"', shifted("2")},
    {'#', plain("BACKSLASH")},
    {'$', shifted("4")},
    {'%', shifted("5")},
    {'&', shifted("6")},
    {'\'', shifted("BACKSLASH")},
    {'(', shifted("8")},
    {')', shifted("9")},
    {'*', plain("KPASTERISK")},
    {'+', plain("RIGHTBRACE")},
    {',', plain("COMMA")},
    {'-', plain("SLASH")},
    {'.', plain("DOT")},
    {'/', plain("KPSLASH")},
    {'0', plain("0")},
    {'1', plain("1")},
    {'2', plain("2")},
    {'3', plain("3")},
    {'4', plain("4")},
    {'5', plain("5")},
    {'6', plain("6")},
    {'7', plain("7")},
    {'8', plain("8")},
    {'9', plain("9")},
    {':', shifted("DOT")},
    {';', shifted("COMMA")},
    {'<', plain("102ND")},
    {'=', shifted("0")},
    {'>', shifted("102ND")},
    {'?', shifted("MINUS")},
    {'@', altGr("Q")},
    {'A', shifted("A")},
    {'B', shifted("B")},
    {'C', shifted("C")},
    {'D', shifted("D")},
    {'E', shifted("E")},
    {'F', shifted("F")},
    {'G', shifted("G")},
    {'H', shifted("H")},
    {'I', shifted("I")},
    {'J', shifted("J")},
    {'K', shifted("K")},
    {'L', shifted("L")},
    {'M', shifted("M")},
    {'N', shifted("N")},
    {'O', shifted("O")},
    {'P', shifted("P")},
    {'Q', shifted("Q")},
    {'R', shifted("R")},
    {'S', shifted("S")},
    {'T', shifted("T")},
    {'U', shifted("U")},
    {'V', shifted("V")},
    {'W', shifted("W")},
    {'X', shifted("X")},
    {'Y', shifted("Z")},
    {'Z', shifted("Y")},
    {'[', altGr("8")},
    {'\\', altGr("MINUS")},
    {']', altGr("9")},
    {'^', plain("GRAVE") + " " + plain("SPACE")},
    {'_', shifted("SLASH")},
    {'`', shifted("EQUAL") + " " + plain("SPACE")},
    {'a', plain("A")},
    {'b', plain("B")},
    {'c', plain("C")},
    {'d', plain("D")},
    {'e', plain("E")},
    {'f', plain("F")},
    {'g', plain("G")},
    {'h', plain("H")},
    {'i', plain("I")},
    {'j', plain("J")},
    {'k', plain("K")},
    {'l', plain("L")},
    {'m', plain("M")},
    {'n', plain("N")},
    {'o', plain("O")},
    {'p', plain("P")},
    {'q', plain("Q")},
    {'r', plain("R")},
    {'s', plain("S")},
    {'t', plain("T")},
    {'u', plain("U")},
    {'v', plain("V")},
    {'w', plain("W")},
    {'x', plain("X")},
    {'y', plain("Z")},
    {'z', plain("Y")},
    {'{', altGr("7")},
    {'|', altGr("102ND")},
    {'}', altGr("0")},
    {'~', altGr("RIGHTBRACE")},
};

// The values and layouts: each character's keys come from its layout's table.
const TypingCase kTyping[] = {
    {"us", "-1234.5678", &kUsKeys},
    {"us", "Y-Z/", &kUsKeys},
    {"us", everyPrintableAsciiCharacter(), &kUsKeys},
    {"de", "-1234.5678", &kDeKeys},
    {"de", "Y-Z/", &kDeKeys},
    {"de", everyPrintableAsciiCharacter(), &kDeKeys},
};

// The keys KWin must receive for a text: each character's, one after the other.
std::string keysFor(const TypingCase& typing) {
    std::string keys;
    for (char c : typing.text)
        keys += (keys.empty() ? "" : " ") + typing.keys->at(c);
    return keys;
}

class KdeFakeInputTypingTest : public ::testing::TestWithParam<TypingCase> {
protected:
    void SetUp() override {
        server_ = std::make_unique<FakeInputServer>(GetParam().layout);
        if (!server_->failure().empty()) GTEST_SKIP() << server_->failure();
        auto keyboard = KdeFakeInputKeyboard::open(server_->socket());
        keyboard_ = keyboard.get();
        auto layout = keyboard->receiverLayout();
        keys_ = std::make_unique<DesktopKeyEvents>(std::move(layout), std::move(keyboard));
    }

    std::unique_ptr<FakeInputServer> server_;
    KdeFakeInputKeyboard* keyboard_ = nullptr;
    std::unique_ptr<DesktopKeyEvents> keys_;
    ReportingView view_;
};

TEST_P(KdeFakeInputTypingTest, TheValueArrivesAsExactlyTheKeysOfTheSeatsLayout) {
    EXPECT_EQ(keys_->layout().name(), GetParam().layout);
    server_->clearRequests();
    {
        Keybot keybot(0, 0, 0, KeyboardType::DESKTOP, KeyMapType::ALPHANUMERIC_COMPLETE, &view_,
                      *keys_);
        keybot.typeString(GetParam().text);
    }
    keyboard_->sync();
    const auto requests = server_->requests();
    EXPECT_EQ(keysOf(requests), keysFor(GetParam()));
    // Read back as an application would, the keys give the value and nothing else.
    EXPECT_EQ(textOf(requests, XkbKeymap::fromString(server_->keymapText())), GetParam().text);
    EXPECT_EQ(view_.reports, "");
}

INSTANTIATE_TEST_SUITE_P(Values, KdeFakeInputTypingTest, ::testing::ValuesIn(kTyping),
                         [](const auto& info) {
                             const std::string& text = info.param.text;
                             return std::string(info.param.layout) + "_" +
                                    (text.size() > 20 ? "printable_ascii"
                                     : text[0] == '-' ? "number"
                                                      : "letters");
                         });

// The keyboard says who it is and why before anything else, as KWin asks of fake input, and
// sends nothing more until a key.
TEST(KdeFakeInputKeyboardTest, AuthenticateComesFirstWithTheApplicationsName) {
    FakeInputServer server("us");
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    auto keyboard = KdeFakeInputKeyboard::open(server.socket());
    keyboard->sync();
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u) << keysOf(requests);
    EXPECT_EQ(requests[0].name, "authenticate");
    EXPECT_EQ(requests[0].application, "Scalino");
    EXPECT_EQ(requests[0].reason, KdeFakeInputKeyboard::kReason);
    EXPECT_NE(requests[0].reason.find("measuring instruments"), std::string::npos);

    keyboard->press(KEY_A);
    keyboard->release(KEY_A);
    keyboard->sync();
    requests = server.requests();
    EXPECT_EQ(keysOf(requests), "authenticate +A -A");
    EXPECT_EQ(keyboard->method(), "KWin's fake input");
}

// A seat without a keyboard says nothing of KWin's layout: the one asked for stands in.
TEST(KdeFakeInputKeyboardTest, ASeatWithoutAKeyboardTypesWithTheLayoutAskedFor) {
    FakeInputServer server("");
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    EXPECT_EQ(KdeFakeInputKeyboard::open(server.socket(), "de")->receiverLayout()->name(), "de");
    EXPECT_EQ(KdeFakeInputKeyboard::open(server.socket())->receiverLayout()->name(), "us");
}

// The lights: the keyboard's own Caps Lock, and the locks KWin tells a client with the focus.
TEST(KdeFakeInputKeyboardTest, TheLightsFollowOwnLocksAndTheSeatsModifiers) {
    FakeInputServer server("us");
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    auto keyboard = KdeFakeInputKeyboard::open(server.socket());
    EXPECT_FALSE(keyboard->isLedOn(KeyboardLed::CapsLock));
    EXPECT_FALSE(keyboard->isLedOn(KeyboardLed::NumLock));
    keyboard->press(KEY_CAPSLOCK);
    keyboard->release(KEY_CAPSLOCK);
    EXPECT_TRUE(keyboard->isLedOn(KeyboardLed::CapsLock));

    const XkbKeymap keymap = XkbKeymap::fromString(server.keymapText());
    const uint32_t numLock = 1u << xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_NUM);
    server.sendModifiers(0, 0, numLock, 0);
    keyboard->sync();
    EXPECT_TRUE(keyboard->isLedOn(KeyboardLed::NumLock));
    EXPECT_FALSE(keyboard->isLedOn(KeyboardLed::CapsLock));
    server.sendModifiers(0, 0, 0, 0);
    keyboard->sync();
    EXPECT_FALSE(keyboard->isLedOn(KeyboardLed::NumLock));
}

// A layout changed in KWin's settings applies from the next text: the layout the keyboard gave
// out takes the keymap KWin hands round, and a value arrives as it is with it.
TEST(KdeFakeInputKeyboardTest, TheLayoutFollowsTheSeatsKeymapFromTheNextText) {
    FakeInputServer server("us");
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    auto keyboard = KdeFakeInputKeyboard::open(server.socket());
    KdeFakeInputKeyboard& sent = *keyboard;
    auto layout = keyboard->receiverLayout();
    DesktopKeyEvents keys(std::move(layout), std::move(keyboard));
    ReportingView view;
    EXPECT_EQ(keys.layout().name(), "us");
    for (const TypingCase& typing :
         {TypingCase{"de", "Y-Z/", &kDeKeys}, TypingCase{"us", "Y-Z/", &kUsKeys}}) {
        SCOPED_TRACE(typing.layout);
        server.changeLayout(typing.layout);
        sent.sync();
        server.clearRequests();
        {
            Keybot keybot(0, 0, 0, KeyboardType::DESKTOP, KeyMapType::ALPHANUMERIC_COMPLETE, &view,
                          keys);
            keybot.typeString(typing.text);
        }
        sent.sync();
        EXPECT_EQ(keys.layout().name(), typing.layout);
        const auto requests = server.requests();
        EXPECT_EQ(keysOf(requests), keysFor(typing));
        EXPECT_EQ(textOf(requests, XkbKeymap::fromString(server.keymapText())), typing.text);
    }
    EXPECT_EQ(view.reports, "");
}

// Where the compositor lacks the protocol (not KWin, or KWin for a program its desktop entries
// do not allow) or has it without keys, the keyboard says whose it is and what to do instead.
TEST(KdeFakeInputKeyboardTest, AnAbsentProtocolIsReportedWithWhatToDo) {
    FakeInputServer server("us", 0);
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    const std::string message =
        test::failureMessage<KeyEventError>([&] { KdeFakeInputKeyboard::open(server.socket()); });
    EXPECT_EQ(message.find("the compositor does not offer KWin's fake input "
                           "(org_kde_kwin_fake_input): it is KWin's"),
              0u)
        << message;
    EXPECT_NE(message.find("X-KDE-Wayland-Interfaces"), std::string::npos) << message;
    EXPECT_NE(message.find("--keyboard portal"), std::string::npos) << message;
    EXPECT_NE(message.find("--keyboard uinput"), std::string::npos) << message;
}

TEST(KdeFakeInputKeyboardTest, VersionThreeIsReportedWithWhatToDo) {
    FakeInputServer server("us", 3);
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    const std::string message =
        test::failureMessage<KeyEventError>([&] { KdeFakeInputKeyboard::open(server.socket()); });
    EXPECT_EQ(message.find("the compositor offers KWin's fake input (org_kde_kwin_fake_input) in "
                           "version 3, without keys: they need version 4 (KWin 5.27 or later); "),
              0u)
        << message;
    EXPECT_NE(message.find("--keyboard portal"), std::string::npos) << message;
    EXPECT_TRUE(server.requests().empty()) << keysOf(server.requests());
}

// KWin lets through or quietly drops the keys of a client it does not trust; one that ends the
// connection over authenticate is reported with what to do instead.
TEST(KdeFakeInputKeyboardTest, ARefusalIsReportedWithWhatToDo) {
    FakeInputServer server("us");
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    server.refuseAuthentication();
    const std::string message =
        test::failureMessage<KeyEventError>([&] { KdeFakeInputKeyboard::open(server.socket()); });
    EXPECT_EQ(message, "the Wayland compositor on " + server.socket() +
                           " ended the connection while asking KWin for fake input: it refused a "
                           "request (error 0 of org_kde_kwin_fake_input); type with --keyboard "
                           "portal (the remote-desktop portal, which asks the user once), or with "
                           "--keyboard uinput, or with --keyboard x11 into X11 applications on "
                           "Xwayland");
}

TEST(KdeFakeInputKeyboardTest, NoCompositorIsReported) {
    const std::string nowhere = "/tmp/scalino-no-such-wayland-socket";
    EXPECT_NE(test::failureMessage<KeyEventError>([&] {
                  KdeFakeInputKeyboard::open(nowhere);
              }).find("no Wayland compositor answers on " + nowhere),
              std::string::npos);
}

}  // namespace
}  // namespace scalino
