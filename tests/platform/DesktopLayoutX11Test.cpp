// The desktop's layout under a real X server (Xvfb) with the system's XKB layouts loaded by
// setxkbmap: every printable ASCII character and some of each layout's own characters, typed
// through the live keymap into an X client with an input method, arrive once, in order and
// nothing else; the keys a named layout computes (the uinput path, which has no X server to ask)
// are the keys the server's keymap gives; a layout switched while typing is followed.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/Keymap.h"
#include "platform/DesktopKeyEvents.h"
#include "platform/DesktopLayout.h"
#include "platform/RecordingKeyboard.h"
#include "platform/X11DesktopLayout.h"
#include "platform/XInputRecorder.h"
#include "platform/XTestKeyboard.h"
#include "platform/XvfbServer.h"
#include "support/ReportingView.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "util/Text.h"
#include "worker/Connection.h"
#include "worker/Keybot.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;

using test::ReportingView;

struct LayoutCase {
    const char* layout;  // as setxkbmap and the xkbLayout setting name it
    const char* own;     // characters beyond ASCII the layout has
};

const LayoutCase kLayouts[] = {
    {"us", ""},
    {"gb", "£€é"},
    {"de", "äöüßÄÖÜ€µ°§"},
    {"ch(de)", "äöüèéà€§°"},
    {"ch(fr)", "éèàäöü€§"},
    {"fr", "éèçàù€²µ£§°"},
    {"be", "éèçàù€µ£§°³"},
    {"es", "ñÑç¡¿€ºª"},
    {"it", "èéàòùì€£°§ç"},
    {"pt", "çÇ«»€ºª"},
    {"se", "åäöÅÄÖ€§"},
    {"no", "æøåÆØÅ€§"},
    {"dk", "æøåÆØÅ€"},
    {"fi", "åäöÅÄÖ€"},
    {"pl", "ąęłśżźćńóĄŁ€"},
    {"cz", "ěščřžýáíéů°"},
    {"hu", "őűáéíóúöüŐŰ"},
    {"us(intl)", "éáíóúñçäöü€"},
    {"us(dvorak)", "éñäö"},
    {"fr(bepo)", "éèàçêœ€«»"},
    {"latam", "ñÑ¿¡°áé"},
};

std::pair<std::string, std::string> layoutAndVariant(const std::string& name) {
    const size_t open = name.find('(');
    if (open == std::string::npos) return {name, ""};
    return {name.substr(0, open), name.substr(open + 1, name.size() - open - 2)};
}

// Every printable ASCII character, each followed by "a": a dead key that swallowed what came
// after it, or a Space sent after a key that is not dead, shows as a wrong "a".
std::string everyAsciiCharacterThenA() {
    std::string text;
    for (char c = 0x20; c <= 0x7E; ++c) {
        text += c;
        text += 'a';
    }
    return text;
}

class DesktopLayoutX11Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new test::XvfbServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!server_->failure().empty()) GTEST_SKIP() << server_->failure();
    }

    void loadLayout(const std::string& name) {
        const auto [layout, variant] = layoutAndVariant(name);
        const std::string failure = server_->setLayout(layout, variant);
        if (!failure.empty()) throw std::runtime_error(failure);
    }

    // The receiving window and key events through the server's live layout.
    void connect() {
        keys_.reset();
        recorder_ = std::make_unique<test::XInputRecorder>(server_->display());
        auto keyboard = XTestKeyboard::open(server_->display());
        keyboard_ = keyboard.get();
        keys_ = std::make_unique<DesktopKeyEvents>(X11DesktopLayout::open(server_->display()),
                                                   std::move(keyboard));
    }

    void type(const std::string& text, KeyMapType keyMap = KeyMapType::ALPHANUMERIC_COMPLETE) {
        Keybot keybot(0, 0, 0, KeyboardType::DESKTOP, keyMap, &view_, *keys_);
        keybot.typeString(text);
    }

    std::string received() {
        keyboard_->sync();
        return recorder_->take();
    }

    // The physical keys the desktop's layout sends for a text through a layout source.
    static std::vector<test::RecordingKeyboard::Event> keysFor(std::unique_ptr<DesktopLayout> layout,
                                                               const std::string& text) {
        auto keyboard = std::make_unique<test::RecordingKeyboard>();
        test::RecordingKeyboard* recorded = keyboard.get();
        DesktopKeyEvents keys(std::move(layout), std::move(keyboard));
        ReportingView view;
        Keybot keybot(0, 0, 0, KeyboardType::DESKTOP, KeyMapType::ALPHANUMERIC_COMPLETE, &view,
                      keys);
        keybot.typeString(text);
        EXPECT_EQ(view.reports, "");
        return recorded->events();
    }

    static test::XvfbServer* server_;
    std::unique_ptr<test::XInputRecorder> recorder_;
    XTestKeyboard* keyboard_ = nullptr;
    std::unique_ptr<DesktopKeyEvents> keys_;
    ReportingView view_;
};

test::XvfbServer* DesktopLayoutX11Test::server_ = nullptr;

class EveryLayoutTest : public DesktopLayoutX11Test,
                        public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(EveryLayoutTest, EveryPrintableAsciiCharacterArrivesOnceAndInOrder) {
    loadLayout(GetParam().layout);
    connect();
    const std::string text = everyAsciiCharacterThenA();
    type(text);
    EXPECT_EQ(received(), text);
    EXPECT_EQ(view_.reports, "");
}

TEST_P(EveryLayoutTest, TheLayoutsOwnCharactersArrive) {
    loadLayout(GetParam().layout);
    connect();
    const std::string own = GetParam().own;
    type(own);
    EXPECT_EQ(received(), own);
    EXPECT_EQ(view_.reports, "");
}

// A character the layout lacks is reported with its code and types nothing; its neighbours
// arrive.
TEST_P(EveryLayoutTest, ACharacterTheLayoutLacksIsReportedAndNothingArrives) {
    loadLayout(GetParam().layout);
    connect();
    type("1\u04162");
    EXPECT_EQ(received(), "12");
    EXPECT_EQ(view_.reports, workerText("cannot_type") + "<1046>\n");
}

// uinput has no X server to ask: it types what the named layout compiled from the system's
// data gives, which must be exactly what the server's keymap gives.
TEST_P(EveryLayoutTest, ANamedLayoutSendsTheKeysOfTheServersKeymap) {
    loadLayout(GetParam().layout);
    const std::string text = everyAsciiCharacterThenA() + GetParam().own;
    const auto fromServer = keysFor(X11DesktopLayout::open(server_->display()), text);
    const auto named = keysFor(std::make_unique<NamedDesktopLayout>(GetParam().layout), text);
    EXPECT_EQ(test::RecordingKeyboard::transcript(named),
              test::RecordingKeyboard::transcript(fromServer));
    EXPECT_FALSE(named.empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, EveryLayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) {
                             std::string name;
                             for (const char* c = info.param.layout; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

// A layout switched on the desktop while connected applies from the next character on: "y" and
// "z" trade places between us and de.
TEST_F(DesktopLayoutX11Test, ALayoutSwitchWhileConnectedIsFollowed) {
    loadLayout("us");
    connect();
    type("yz/");
    EXPECT_EQ(received(), "yz/");
    loadLayout("de");
    type("yz/ß");
    EXPECT_EQ(received(), "yz/ß");
    EXPECT_EQ(keys_->layout().name(), "de");
    EXPECT_EQ(view_.reports, "");
}

// Two layouts, us and de, the second locked active as a desktop's layout switcher does.
TEST_F(DesktopLayoutX11Test, TheActiveGroupOfSeveralIsFollowed) {
    const std::string failure = server_->setLayout("us,de", ",");
    ASSERT_EQ(failure, "");
    connect();
    type("yz");
    EXPECT_EQ(received(), "yz");
    recorder_->lockGroup(1);
    type("yzß");
    EXPECT_EQ(received(), "yzß");
    EXPECT_EQ(keys_->layout().name(), "de");
    EXPECT_EQ(view_.reports, "");
}

// Caps Lock and NumLock on: the modifiers chosen make up for them.
TEST_F(DesktopLayoutX11Test, LettersAndDigitsArriveWhateverTheLocks) {
    loadLayout("de");
    connect();
    for (int lock : {KEY_CAPSLOCK, KEY_NUMLOCK}) {
        keyboard_->press(lock);
        keyboard_->release(lock);
    }
    ASSERT_TRUE(keyboard_->isLedOn(KeyboardLed::CapsLock));
    type("aAüÜ1+/,.-");
    EXPECT_EQ(received(), "aAüÜ1+/,.-");
    for (int lock : {KEY_CAPSLOCK, KEY_NUMLOCK}) {
        keyboard_->press(lock);
        keyboard_->release(lock);
    }
    EXPECT_FALSE(keyboard_->isLedOn(KeyboardLed::CapsLock));
}

// A numeric key map types no letters even where the layout has them; a start key arrives.
TEST_F(DesktopLayoutX11Test, TheKeyMapStillDecidesWhatMayBeTyped) {
    loadLayout("fr");
    connect();
    Keybot keybot(0, ConfigHelper::getKeyCode(ConfigHelper::StartWith::TAB),
                  ConfigHelper::getKeyCode(ConfigHelper::StartWith::ENTER), KeyboardType::DESKTOP,
                  KeyMapType::NUMERIC, &view_, *keys_);
    keybot.typeStart();
    keybot.typeString("-12,5é");
    keybot.typeEnd();
    EXPECT_EQ(received(), "<Tab>-12,5<Return>");
    EXPECT_EQ(view_.reports, workerText("cannot_type") + "<233>\n");
}

// scalino-cli type with a fixed layout on a desktop with another warns and names both; with the
// desktop's layout (new settings on a display) the value arrives as it is.
TEST_F(DesktopLayoutX11Test, TheCommandLineWarnsOfAFixedLayoutThatIsNotTheDesktops) {
    loadLayout("de");
    connect();
    const test::TempDir home;
    const auto typeWith = [&](std::vector<std::string> settings) {
        std::vector<std::string> arguments = {"type", "Y-Z/", "--set",
                                              "instrument=BARCODE_ALPHA_COMPLETE"};
        for (const std::string& setting : settings)
            arguments.insert(arguments.end(), {"--set", setting});
        return test::runProgram(SCALINO_CLI, arguments, "",
                                {"DISPLAY=" + server_->display(),
                                 "HOME=" + home.path().string(), "WAYLAND_DISPLAY="});
    };
    const auto us = typeWith({"keyboardType=QWERTY"});
    EXPECT_EQ(us.exitStatus, 0) << us.err;
    EXPECT_NE(us.err.find(Connection::layoutMismatchText(KeyboardType::QUERTY, "de")),
              std::string::npos)
        << us.err;
    EXPECT_NE(received(), "Y-Z/");  // what the warning is about
    const auto german = typeWith({"keyboardType=GERMAN"});
    EXPECT_EQ(german.exitStatus, 0) << german.err;
    EXPECT_EQ(german.err.find("keyboard layout is"), std::string::npos) << german.err;
    EXPECT_EQ(received(), "Y-Z/");
    const auto desktop = typeWith({});
    EXPECT_EQ(desktop.exitStatus, 0) << desktop.err;
    EXPECT_EQ(desktop.err, "scalino-cli type: typing through XTest on the X display " +
                               server_->display() + "\n");
    EXPECT_EQ(received(), "Y-Z/");
    const auto named = typeWith({"xkbLayout=nonesuch"});
    EXPECT_EQ(named.exitStatus, 3);
    EXPECT_NE(named.err.find("the system has no keyboard layout 'nonesuch'"), std::string::npos)
        << named.err;
    EXPECT_EQ(received(), "");
}

}  // namespace
}  // namespace scalino
