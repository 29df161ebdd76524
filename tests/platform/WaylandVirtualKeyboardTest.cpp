// Typing on a wlroots compositor through its virtual-keyboard protocol: a real headless Sway with
// the system's XKB layouts in its settings, and wev, a real Wayland client, in the focused
// window. What wev receives is what an application receives: every printable ASCII character
// and each layout's own characters arrive once, in order, and nothing else, on the keymap the
// compositor hands round.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <iterator>
#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/FakeInputServer.h"
#include "platform/SwayServer.h"
#include "platform/WaylandVirtualKeyboard.h"
#include "platform/WevRecorder.h"
#include "platform/XkbKeymap.h"
#include "support/Failure.h"
#include "support/Pty.h"
#include "support/ReportingView.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "worker/Connection.h"
#include "worker/Keybot.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;

using test::ReportingView;

struct LayoutCase {
    const char* layout;   // as Sway's xkb_layout takes it
    const char* variant;  // xkb_variant
    const char* name;     // as the desktop's layout names it
    const char* own;      // characters beyond ASCII the layout has
};

// gtest names the case by its layout instead of printing its bytes.
void PrintTo(const LayoutCase& layout, std::ostream* out) {
    *out << layout.name;
}

const LayoutCase kLayouts[] = {
    {"us", "", "us", ""},
    {"de", "", "de", "äöüß€"},
    {"fr", "", "fr", "éèçà"},
};

std::string everyPrintableAsciiCharacter() {
    std::string text;
    for (char c = 0x20; c <= 0x7E; ++c)
        text += c;
    return text;
}

// A Sway session: the compositor with a layout in its settings, wev in the focused window, the
// user's keyboard in the seat and the virtual keyboard under test typing the desktop's layout.
class WaylandSessionTest : public ::testing::Test {
protected:
    // Skips the test where Sway or wev cannot run.
    void startSession(const char* layout, const char* variant, const char* name) {
        sway_ = std::make_unique<test::SwayServer>(layout, variant);
        if (!sway_->failure().empty()) GTEST_SKIP() << sway_->failure();
        wev_ = std::make_unique<test::WevRecorder>(*sway_);
        if (!wev_->failure().empty()) GTEST_SKIP() << wev_->failure();
        // As in the user's session, where Sway tells its programs how to reach its IPC.
        setenv("SWAYSOCK", sway_->ipcSocket().c_str(), 1);
        // The user's own keyboard, with the layout: Sway gives its xkb settings to real keyboards
        // only, and a headless one has none.
        usersKeyboard_ = WaylandVirtualKeyboard::open(sway_->socket(), name);
        auto keyboard = WaylandVirtualKeyboard::open(sway_->socket());
        keyboard_ = keyboard.get();
        auto receiver = keyboard->receiverLayout();
        keys_ = std::make_unique<DesktopKeyEvents>(std::move(receiver), std::move(keyboard));
    }

    void type(const std::string& text) {
        Keybot keybot(0, 0, 0, KeyboardType::DESKTOP, KeyMapType::ALPHANUMERIC_COMPLETE, &view_,
                      *keys_);
        keybot.typeString(text);
    }

    // What wev received since the last call: a press of F12 ends it.
    std::string received() {
        tap(*keyboard_, KEY_F12);
        return wev_->takeUntil("F12");
    }

    void TearDown() override { unsetenv("SWAYSOCK"); }

    static void tap(WaylandVirtualKeyboard& keyboard, int key) {
        keyboard.press(key);
        keyboard.release(key);
        keyboard.sync();
    }

    std::unique_ptr<test::SwayServer> sway_;
    std::unique_ptr<test::WevRecorder> wev_;
    std::unique_ptr<WaylandVirtualKeyboard> usersKeyboard_;
    WaylandVirtualKeyboard* keyboard_ = nullptr;
    std::unique_ptr<DesktopKeyEvents> keys_;
    ReportingView view_;
};

class WaylandTypingTest : public WaylandSessionTest,
                          public ::testing::WithParamInterface<LayoutCase> {
protected:
    void SetUp() override { startSession(GetParam().layout, GetParam().variant, GetParam().name); }
};

TEST_P(WaylandTypingTest, TheLayoutIsTheCompositors) {
    EXPECT_EQ(keys_->layout().name(), GetParam().name);
}

TEST_P(WaylandTypingTest, EveryPrintableAsciiCharacterArrivesOnceAndInOrder) {
    const std::string text = everyPrintableAsciiCharacter();
    type(text);
    EXPECT_EQ(received(), text);
    EXPECT_EQ(view_.reports, "");
}

TEST_P(WaylandTypingTest, ValuesArriveAsTheyAre) {
    for (const std::string& value :
         std::vector<std::string>{"-1234.5678", "Y-Z/", "y-z/0", GetParam().own}) {
        type(value);
        EXPECT_EQ(received(), value);
    }
    EXPECT_EQ(view_.reports, "");
}

// The keyboard's own Caps Lock: its light comes on and off, and the modifiers chosen make up for
// it, as the compositor hands the lock round with the keyboard's modifiers.
TEST_P(WaylandTypingTest, LettersArriveWhateverTheCapsLock) {
    ASSERT_FALSE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    keyboard_->press(KEY_CAPSLOCK);
    keyboard_->release(KEY_CAPSLOCK);
    EXPECT_TRUE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    type("aAzZ1-/");
    EXPECT_EQ(received(), "aAzZ1-/");
    keyboard_->press(KEY_CAPSLOCK);
    keyboard_->release(KEY_CAPSLOCK);
    EXPECT_FALSE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    type("aB");
    EXPECT_EQ(received(), "aB");
    EXPECT_EQ(view_.reports, "");
}

// scalino-cli in the Wayland session: without --keyboard it takes the virtual keyboard, says so,
// and types with the compositor's layout; a fixed layout that is not the compositor's is warned
// of by name.
TEST_P(WaylandTypingTest, TheCommandLineTypesThroughTheVirtualKeyboard) {
    const test::TempDir home;
    const auto typeWith = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(),
                         {"--set", "instrument=BARCODE_ALPHA_COMPLETE", "--set", "delay=0"});
        return test::runProgram(SCALINO_CLI, arguments, "",
                                {"WAYLAND_DISPLAY=" + sway_->socket(),
                                 "DISPLAY=", "XDG_RUNTIME_DIR=" + sway_->runtimeDir().string(),
                                 "HOME=" + home.path().string()});
    };
    const std::string value = "Y-Z/" + std::string(GetParam().own);
    const auto desktop = typeWith({"type", value, "--set", "keyboardType=DESKTOP"});
    EXPECT_EQ(desktop.exitStatus, 0) << desktop.err;
    EXPECT_EQ(desktop.err, "scalino-cli type: typing through the Wayland virtual keyboard\n");
    EXPECT_EQ(received(), value);

    const auto named =
        typeWith({"type", "Y-Z/", "--keyboard", "wayland", "--set", "keyboardType=GERMAN"});
    EXPECT_EQ(named.exitStatus, 0) << named.err;
    EXPECT_NE(named.err.find("typing through the Wayland virtual keyboard"), std::string::npos);
    if (std::string(GetParam().name) == "de") {
        EXPECT_EQ(named.err.find("keyboard layout is"), std::string::npos) << named.err;
        EXPECT_EQ(received(), "Y-Z/");
    } else {
        EXPECT_NE(
            named.err.find(Connection::layoutMismatchText(KeyboardType::GERMAN, GetParam().name)),
            std::string::npos)
            << named.err;
        EXPECT_NE(received(), "Y-Z/");  // what the warning is about
    }
}

// scalino-cli read --type logs the way once, at connect, and types every value received.
TEST_P(WaylandTypingTest, ReadTypesEveryValueAndLogsTheWay) {
    const test::TempDir home;
    test::Pty pty;
    test::RunningProgram read(
        SCALINO_CLI,
        {"read", "--port", pty.path(), "--set", "dataBits=3", "--set", "parity=0", "--type",
         "--set", "keyboardType=DESKTOP", "--set", "delay=0", "--set", "outputTerminator=NONE"},
        {"WAYLAND_DISPLAY=" + sway_->socket(), "DISPLAY=",
         "XDG_RUNTIME_DIR=" + sway_->runtimeDir().string(), "HOME=" + home.path().string()});
    for (int i = 0; i < 500 && read.err().find(" opened") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pty.send(test::Bytes{'1', '2', '.', '5', '\r', '-', '3', '\r'});
    EXPECT_EQ(read.readLine(std::chrono::seconds(30)), "1\t12.5\t0\t12.5<13>");
    EXPECT_EQ(read.readLine(std::chrono::seconds(30)), "2\t-3\t0\t-3<13>");
    read.signal(SIGTERM);
    const auto result = read.wait();
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(received(), "12.5-3");
    const std::regex way(R"(\d\d:\d\d:\d\d typing through the Wayland virtual keyboard\n)");
    const auto ways = std::distance(std::sregex_iterator(result.err.begin(), result.err.end(), way),
                                    std::sregex_iterator());
    EXPECT_EQ(ways, 1) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Layouts, WaylandTypingTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// The user changes the desktop's layout while the keyboard is connected, with swaymsg as a
// layout switcher does: a new layout, or another group of the layouts set. The keyboard follows
// from the next text: a value arrives as it is right after the change, and the keyboard's own
// keys mean what the new layout makes them.
struct FollowStep {
    std::string command;   // swaymsg's
    const char* followed;  // the layout name then
    const char* value;     // typed then, arriving as it is
    const char* zTyping;   // what KEY_Z types then
};

struct FollowCase {
    const char* name;
    const char* layout;  // in Sway's settings at the start
    std::vector<FollowStep> steps;
};

void PrintTo(const FollowCase& follow, std::ostream* out) {
    *out << follow.name;
}

const FollowCase kFollowCases[] = {
    {"LayoutChanged", "us", {{"input type:keyboard xkb_layout de", "de", "Y-Z/äöü", "y"}}},
    {"LayoutChangedTwice",
     "de",
     {{"input type:keyboard xkb_layout fr", "fr", "Y-Z/éèçà", "w"},
      {"input type:keyboard xkb_layout us", "us", "Y-Z/@", "z"}}},
    {"GroupSwitched",
     "us",
     {{"input type:keyboard xkb_layout \"us,de\"", "us", "Y-Z/", "z"},
      {"input type:keyboard xkb_switch_layout 1", "de", "Y-Z/äöü", "y"},
      {"input type:keyboard xkb_switch_layout 0", "us", "Y-Z/", "z"}}},
};

class WaylandFollowTest : public WaylandSessionTest,
                          public ::testing::WithParamInterface<FollowCase> {
protected:
    void SetUp() override { startSession(GetParam().layout, "", GetParam().layout); }
};

TEST_P(WaylandFollowTest, TheUsersLayoutIsFollowedFromTheNextText) {
    type("Y-Z/");
    EXPECT_EQ(received(), "Y-Z/");
    for (const FollowStep& step : GetParam().steps) {
        SCOPED_TRACE(step.command);
        ASSERT_EQ(sway_->command(step.command), "");
        // swaymsg has its answer before the compositor hands the keymap round.
        keyboard_->sync();
        type(step.value);
        EXPECT_EQ(received(), step.value);
        EXPECT_EQ(keys_->layout().name(), step.followed);
        tap(*keyboard_, KEY_Z);
        EXPECT_EQ(received(), step.zTyping);
    }
    EXPECT_EQ(view_.reports, "");
}

INSTANTIATE_TEST_SUITE_P(Changes, WaylandFollowTest, ::testing::ValuesIn(kFollowCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Characters the user's keymap lacks arrive, each exactly, through the keymap extended with
// their keysyms; once the text is typed the seat hands round the user's keymap again, and the
// keyboard's keys mean what they mean there.
struct SpareCase {
    const char* name;
    const char* layout;
    const char* value;
    int key;                // an evdev key pressed afterwards
    const char* keyTyping;  // what it types on the user's keymap
};

void PrintTo(const SpareCase& spare, std::ostream* out) {
    *out << spare.name;
}

const SpareCase kSpareCases[] = {
    {"us", "us", "Ж€°", KEY_Z, "z"},
    {"de", "de", "Ж€°y", KEY_Z, "y"},
    {"fr", "fr", "Жж°€ß", KEY_Q, "a"},
    // More characters than the keymap has spare keys (18 from 9 to 255 on us): they are given
    // anew once all are taken.
    {"MoreThanTheSpareKeys", "us", "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ€", KEY_Z, "z"},
};

class WaylandSpareKeyTest : public WaylandSessionTest,
                            public ::testing::WithParamInterface<SpareCase> {
protected:
    void SetUp() override { startSession(GetParam().layout, "", GetParam().layout); }
};

TEST_P(WaylandSpareKeyTest, CharactersTheKeymapLacksArriveAndTheKeymapIsRestored) {
    const std::string value = GetParam().value;
    type(value);
    EXPECT_EQ(received(), value);
    // Twice: the spare keys given are kept, and with Caps Lock on the keysym is the same.
    tap(*keyboard_, KEY_CAPSLOCK);
    type(value + value);
    tap(*keyboard_, KEY_CAPSLOCK);
    EXPECT_EQ(received(), value + value);
    EXPECT_EQ(view_.reports, "");

    tap(*keyboard_, GetParam().key);
    EXPECT_EQ(received(), GetParam().keyTyping);
    // What the seat hands a new client now: the user's keymap, without spare keys.
    const auto observer = WaylandVirtualKeyboard::open(sway_->socket());
    EXPECT_EQ(XkbKeymap::fromString(observer->userKeymap()).text(),
              XkbKeymap::fromString(keyboard_->userKeymap()).text());

    // And scalino-cli types a barcode with them.
    const test::TempDir home;
    const auto cli =
        test::runProgram(SCALINO_CLI,
                         {"type", value, "--set", "instrument=BARCODE_ALPHA_COMPLETE", "--set",
                          "delay=0", "--set", "keyboardType=DESKTOP"},
                         "",
                         {"WAYLAND_DISPLAY=" + sway_->socket(),
                          "DISPLAY=", "XDG_RUNTIME_DIR=" + sway_->runtimeDir().string(),
                          "HOME=" + home.path().string()});
    EXPECT_EQ(cli.exitStatus, 0) << cli.err;
    EXPECT_EQ(received(), value);

    // A character without a keysym (a noncharacter) is reported as before, and nothing else.
    type("a\uFDD0b");
    EXPECT_EQ(received(), "ab");
    EXPECT_NE(view_.reports, "");
}

INSTANTIATE_TEST_SUITE_P(Layouts, WaylandSpareKeyTest, ::testing::ValuesIn(kSpareCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Where no compositor answers, the Wayland keyboard says so and scalino-cli ends with status 3
// before any key.
TEST(WaylandVirtualKeyboardOpenTest, NoCompositorIsReported) {
    const test::TempDir runtime;
    const std::string nowhere = (runtime / "wayland-0").string();
    EXPECT_NE(test::failureMessage<KeyEventError>([&] {
                  WaylandVirtualKeyboard::open(nowhere);
              }).find("no Wayland compositor answers on " + nowhere),
              std::string::npos);
    const auto result = test::runProgram(
        SCALINO_CLI, {"type", "12", "--keyboard", "wayland"}, "",
        {"WAYLAND_DISPLAY=" + nowhere, "DISPLAY=", "HOME=" + runtime.path().string()});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_NE(result.err.find("no Wayland compositor answers on " + nowhere), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("typing through"), std::string::npos) << result.err;
}

// A compositor without the protocol (GNOME, KDE Plasma): the keyboard says what to do instead,
// and the automatic choice, with neither uinput nor an X server at hand, gives every way's reason.
TEST(WaylandVirtualKeyboardOpenTest, ACompositorWithoutTheProtocolIsReportedWithWhatToDo) {
    // A seat without a keyboard, and no fake input either.
    const test::FakeInputServer server("", 0);
    if (!server.failure().empty()) GTEST_SKIP() << server.failure();
    const std::string message =
        test::failureMessage<KeyEventError>([&] { WaylandVirtualKeyboard::open(server.socket()); });
    EXPECT_EQ(message.find("the compositor does not offer the virtual-keyboard protocol "
                           "(zwp_virtual_keyboard_manager_v1); "),
              0u)
        << message;
    EXPECT_NE(message.find("--keyboard uinput"), std::string::npos) << message;
    EXPECT_NE(message.find("--keyboard x11"), std::string::npos) << message;

    if (access("/dev/uinput", W_OK) == 0)
        GTEST_SKIP() << "/dev/uinput is writable here: the automatic choice would take it";
    const test::TempDir home;
    const auto result = test::runProgram(
        SCALINO_CLI, {"type", "12"}, "",
        {"WAYLAND_DISPLAY=" + server.socket(), "DISPLAY=", "HOME=" + home.path().string(),
         "DBUS_SESSION_BUS_ADDRESS=", "XDG_RUNTIME_DIR=" + home.path().string()});
    EXPECT_EQ(result.exitStatus, 3);
    // Every way in the order tried, each with its reason.
    for (const char* reason :
         {"no way to send keys in this Wayland session. portal: no remote-desktop portal answers "
          "on the session bus",
          ". KWin fake input: the compositor does not offer KWin's fake input",
          ". Wayland virtual keyboard: the compositor does not offer the virtual-keyboard protocol",
          ". uinput: /dev/uinput is not writable for this user. X11 (Xwayland): no X display"}) {
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    }
    EXPECT_EQ(result.err.find("typing through"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace scalino
