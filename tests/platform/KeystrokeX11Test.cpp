// Key events through XTest into a real X server (Xvfb) with the real XKB layouts, received by an
// X client with an input method the way a desktop text field receives them.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/Keymap.h"
#include "platform/KeyLayout.h"
#include "platform/LayoutKeyEvents.h"
#include "platform/XInputRecorder.h"
#include "platform/XTestKeyboard.h"
#include "platform/XvfbServer.h"
#include "support/Failure.h"
#include "support/ReportingView.h"
#include "support/Subprocess.h"
#include "support/TempDir.h"
#include "util/Text.h"
#include "worker/Keybot.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;
using ConfigHelper::StartWith;
namespace VK = VirtualKey;

using test::ReportingView;

// The key map's characters in its order, each followed by an "a": a dead key that swallowed
// its Space, or a Space sent after a key that is not dead, shows as a wrong "a".
std::string everyCharacterThenA(const KeyMap& map) {
    std::string text;
    for (const auto& entry : map) {
        appendUtf8(text, entry.first);
        text += 'a';
    }
    return text;
}

class KeystrokeX11Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new test::XvfbServer(); }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }

    void SetUp() override {
        if (!server_->failure().empty()) GTEST_SKIP() << server_->failure();
    }

    // Loads the layout into the server, then opens the receiving window and the key events.
    void useLayout(KeyboardType type) {
        const KeyLayout& layout = KeyLayout::of(type);
        const std::string failure = server_->setLayout(layout.xkbLayout(), layout.xkbVariant());
        if (!failure.empty()) throw std::runtime_error(failure);
        keys_.reset();
        recorder_ = std::make_unique<test::XInputRecorder>(server_->display());
        auto keyboard = XTestKeyboard::open(server_->display());
        keyboard_ = keyboard.get();
        keys_ = std::make_unique<LayoutKeyEvents>(type, std::move(keyboard));
    }

    // What the receiver got once the server has handled every event sent.
    std::string received() {
        keyboard_->sync();
        return recorder_->take();
    }

    void typeByCode(int code) {
        keys_->keyPress(VK::Alt);
        for (char digit : std::to_string(code)) {
            keys_->keyPress(VK::Kp0 + (digit - '0'));
            keys_->keyRelease(VK::Kp0 + (digit - '0'));
        }
        keys_->keyRelease(VK::Alt);
    }

    static test::XvfbServer* server_;
    std::unique_ptr<test::XInputRecorder> recorder_;
    XTestKeyboard* keyboard_ = nullptr;
    std::unique_ptr<LayoutKeyEvents> keys_;
    ReportingView view_;
};

test::XvfbServer* KeystrokeX11Test::server_ = nullptr;

class LayoutTest : public KeystrokeX11Test, public ::testing::WithParamInterface<KeyboardType> {};

TEST_P(LayoutTest, EveryCharacterOfTheCompleteKeyMapArrivesOnceAndInOrder) {
    useLayout(GetParam());
    const KeyMap map = getKeymap(GetParam(), KeyMapType::ALPHANUMERIC_COMPLETE);
    const std::string text = everyCharacterThenA(map);
    Keybot keybot(0, 0, 0, GetParam(), KeyMapType::ALPHANUMERIC_COMPLETE, &view_, *keys_);
    keybot.typeString(text);
    EXPECT_EQ(received(), text);
    EXPECT_EQ(view_.reports, "");
}

TEST_P(LayoutTest, NumericKeyMapBetweenStartAndEndKeys) {
    useLayout(GetParam());
    std::string text;
    for (const auto& entry : getKeymap(GetParam(), KeyMapType::NUMERIC))
        text += static_cast<char>(entry.first);
    Keybot keybot(0, ConfigHelper::getKeyCode(StartWith::TAB),
                  ConfigHelper::getKeyCode(StartWith::ENTER), GetParam(), KeyMapType::NUMERIC,
                  &view_, *keys_);
    keybot.typeStart();
    keybot.typeString(text);
    keybot.typeEnd();
    EXPECT_EQ(received(), "<Tab>" + text + "<Return>");
    EXPECT_EQ(view_.reports, "");
}

// Alt and a decimal code: every printable character the Linux layout has a key for.
TEST_P(LayoutTest, EveryPrintableCharacterByAltAndItsCode) {
    useLayout(GetParam());
    std::string expected;
    for (int code = 0x20; code <= 0x7E; ++code) {
        typeByCode(code);
        expected += static_cast<char>(code);
    }
    EXPECT_EQ(received(), expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest,
                         ::testing::Values(KeyboardType::QUERTY, KeyboardType::US_INTERNATIONAL,
                                           KeyboardType::AZERTY, KeyboardType::GERMAN),
                         [](const auto& info) { return std::string(name(info.param)); });

TEST_F(KeystrokeX11Test, StartKeysArriveAsTheirKeys) {
    useLayout(KeyboardType::GERMAN);
    for (StartWith key : ConfigHelper::values<StartWith>()) {
        SCOPED_TRACE(std::string(name(key)));
        Keybot keybot(0, ConfigHelper::getKeyCode(key), 0, KeyboardType::GERMAN,
                      KeyMapType::NUMERIC, &view_, *keys_);
        keybot.typeStart();
        std::string expected;
        switch (key) {
            case StartWith::NONE: break;
            case StartWith::ENTER: expected = "<Return>"; break;
            case StartWith::TAB: expected = "<Tab>"; break;
            case StartWith::RIGHT: expected = "<Right>"; break;
            case StartWith::DOWN: expected = "<Down>"; break;
            case StartWith::DELETE: expected = "<Delete>"; break;
            case StartWith::MULTIPLY: expected = "*"; break;
            default: expected = "<" + toString(key) + ">";
        }
        EXPECT_EQ(received(), expected);
    }
    EXPECT_EQ(view_.reports, "");
}

TEST_F(KeystrokeX11Test, KeypadDigitsGetNumLockAndLeaveItAsItWas) {
    useLayout(KeyboardType::QUERTY);
    for (bool numLock : {false, true}) {
        SCOPED_TRACE(numLock ? "NumLock on" : "NumLock off");
        if (keyboard_->isLedOn(KeyboardLed::NumLock) != numLock) {
            keyboard_->press(KEY_NUMLOCK);
            keyboard_->release(KEY_NUMLOCK);
        }
        keys_->keyPress(VK::Kp5);
        keys_->keyRelease(VK::Kp5);
        keys_->keyPress(VK::Kp0);
        keys_->keyRelease(VK::Kp0);
        EXPECT_EQ(received(), "50");
        EXPECT_EQ(keyboard_->isLedOn(KeyboardLed::NumLock), numLock);
    }
}

TEST_F(KeystrokeX11Test, CtrlOrAltWithOtherKeysIsRefusedAndNothingArrives) {
    useLayout(KeyboardType::AZERTY);
    const auto pressWith = [this](int modifier, int key) {
        return test::failureMessage<KeyEventError>([&] {
            keys_->keyPress(modifier);
            try {
                keys_->keyPress(key);
            } catch (...) {
                keys_->keyRelease(modifier);
                throw;
            }
        });
    };
    EXPECT_NE(pressWith(VK::Ctrl, VK::C).find("Ctrl"), std::string::npos);
    EXPECT_NE(pressWith(VK::Alt, VK::F1 + 3).find("Alt"), std::string::npos);
    EXPECT_EQ(test::failureMessage<KeyEventError>([&] { keys_->keyPress(VK::Quote); }),
              "the fr layout has no key Quote");
    EXPECT_EQ(test::failureMessage<KeyEventError>([&] { typeByCode(200); }),
              "Alt+200: only the printable ASCII characters, codes 32 to 126, can be typed by "
              "their code");
    keys_->keyPress(VK::X);
    keys_->keyRelease(VK::X);
    EXPECT_EQ(received(), "x");
}

// The command line chooses X11 where DISPLAY names a server and types with the settings.
TEST_F(KeystrokeX11Test, TheCommandLineTypesIntoTheFocusedWindow) {
    useLayout(KeyboardType::AZERTY);
    const test::TempDir home;
    const auto result = test::runProgram(
        SCALINO_CLI,
        {"type", "A1~", "--set", "keyboardType=AZERTY", "--set",
         "instrument=BARCODE_ALPHA_COMPLETE", "--set", "delay=0", "--set", "outputTerminator=TAB"},
        "", {"DISPLAY=" + server_->display(), "HOME=" + home.path().string(), "WAYLAND_DISPLAY="});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(received(), "A1~<Tab>");
}

// In a Wayland session whose compositor does not answer, the automatic choice falls through:
// to uinput where this user may write to it, else to XTest on the session's X server (Xwayland),
// which it names and says only X11 applications receive. Both the default and an explicit empty
// choice take that way.
TEST_F(KeystrokeX11Test, WithoutAWaylandCompositorTheChoiceFallsThroughAndSaysSo) {
    if (access("/dev/uinput", W_OK) == 0)
        GTEST_SKIP() << "/dev/uinput is writable here: the choice takes uinput before X11";
    useLayout(KeyboardType::QUERTY);
    const test::TempDir home;
    // No --keyboard, and --keyboard auto, choose alike.
    for (const std::vector<std::string>& choice :
         {std::vector<std::string>{}, std::vector<std::string>{"--keyboard", "auto"}}) {
        std::vector<std::string> arguments = {"type", "A1", "--set", "keyboardType=QWERTY", "--set",
                                              "instrument=BARCODE_ALPHA", "--set", "delay=0"};
        arguments.insert(arguments.end(), choice.begin(), choice.end());
        const auto result =
            test::runProgram(SCALINO_CLI, arguments, "",
                             {"DISPLAY=" + server_->display(), "HOME=" + home.path().string(),
                              "WAYLAND_DISPLAY=" + (home / "wayland-0").string()});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.err, "scalino-cli type: typing through XTest on the X display " +
                                  server_->display() +
                                  "; only X11 applications receive the keys\n");
        EXPECT_EQ(received(), "A1");
    }
}

TEST_F(KeystrokeX11Test, CapsLockIsReadFromTheIndicator) {
    useLayout(KeyboardType::QUERTY);
    ASSERT_FALSE(keys_->isCapsLockOn());
    keyboard_->press(KEY_CAPSLOCK);
    keyboard_->release(KEY_CAPSLOCK);
    EXPECT_TRUE(keys_->isCapsLockOn());
    keyboard_->press(KEY_CAPSLOCK);
    keyboard_->release(KEY_CAPSLOCK);
    EXPECT_FALSE(keys_->isCapsLockOn());
}

}  // namespace
}  // namespace scalino
