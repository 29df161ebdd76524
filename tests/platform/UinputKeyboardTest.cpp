// The uinput keyboard's events, read from the other end of a socket that stands in for the
// uinput device (which a container does not have), and the typing emulation as seen at the
// level of physical keys.
#include "platform/UinputKeyboard.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "config/Keymap.h"
#include "platform/LayoutKeyEvents.h"
#include "support/Failure.h"
#include "worker/Keybot.h"

namespace scalino {
namespace {

using ConfigHelper::KeyboardType;
using ConfigHelper::KeyMapType;
using KeyEvents = std::vector<std::pair<int, int>>;  // evdev code, 1 press or 0 release

class UinputKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override { openDevice(); }
    void TearDown() override { close(ends_[1]); }

    // A fresh keyboard on a fresh socket; the keyboard owns its end.
    void openDevice() {
        if (ends_[1] >= 0) close(ends_[1]);
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, ends_), 0);
        keyboard_ = std::make_unique<UinputKeyboard>(ends_[0], false);
        device_ = keyboard_.get();
    }

    // Every key event sent so far; each must come in a packet of its own, closed by a report.
    KeyEvents sent() {
        KeyEvents events;
        input_event packet[4];
        ssize_t n;
        while ((n = read(ends_[1], packet, sizeof packet)) > 0) {
            EXPECT_EQ(n, static_cast<ssize_t>(2 * sizeof(input_event)));
            EXPECT_EQ(packet[0].type, EV_KEY);
            EXPECT_EQ(packet[1].type, EV_SYN);
            EXPECT_EQ(packet[1].code, SYN_REPORT);
            events.emplace_back(packet[0].code, packet[0].value);
        }
        return events;
    }

    void sendLed(int led, int value) {
        input_event event{};
        event.type = EV_LED;
        event.code = static_cast<__u16>(led);
        event.value = value;
        ASSERT_EQ(write(ends_[1], &event, sizeof event), static_cast<ssize_t>(sizeof event));
    }

    // Types a text on a layout through the typing engine and returns the physical key events.
    KeyEvents typed(KeyboardType layout, const std::string& text) {
        LayoutKeyEvents keys(layout, std::move(keyboard_));
        Keybot keybot(0, 0, 0, layout, KeyMapType::ALPHANUMERIC_COMPLETE, nullptr, keys);
        keybot.typeString(text);
        return sent();
    }

    int ends_[2] = {-1, -1};
    std::unique_ptr<UinputKeyboard> keyboard_;  // until key events are made of it
    UinputKeyboard* device_ = nullptr;
};

TEST_F(UinputKeyboardTest, EachKeyEventIsOneReport) {
    device_->press(KEY_A);
    device_->release(KEY_A);
    EXPECT_EQ(sent(), (KeyEvents{{KEY_A, 1}, {KEY_A, 0}}));
    EXPECT_NE(test::failureMessage<KeyEventError>([&] { device_->press(0); }), "");
}

TEST_F(UinputKeyboardTest, LocksFollowTheLedEventsOfTheSession) {
    EXPECT_FALSE(device_->isLedOn(KeyboardLed::CapsLock));
    sendLed(LED_CAPSL, 1);
    sendLed(LED_NUML, 1);
    EXPECT_TRUE(device_->isLedOn(KeyboardLed::CapsLock));
    EXPECT_TRUE(device_->isLedOn(KeyboardLed::NumLock));
    sendLed(LED_CAPSL, 0);
    EXPECT_FALSE(device_->isLedOn(KeyboardLed::CapsLock));
    EXPECT_TRUE(device_->isLedOn(KeyboardLed::NumLock));
}

// The emulations, key by key: level 3 through the right Alt key, never Ctrl or Alt; no Space
// after a key that is not dead on Linux; Alt codes and accents through the layout's own keys.
TEST_F(UinputKeyboardTest, EmulatedSequencesBecomeTheLayoutsOwnKeys) {
    const struct {
        KeyboardType layout;
        std::string text;
        KeyEvents keys;
    } cases[] = {
        {KeyboardType::AZERTY, "~", {{KEY_RIGHTALT, 1}, {KEY_2, 1}, {KEY_2, 0}, {KEY_RIGHTALT, 0}}},
        {KeyboardType::GERMAN,
         "?",
         {{KEY_LEFTSHIFT, 1}, {KEY_MINUS, 1}, {KEY_MINUS, 0}, {KEY_LEFTSHIFT, 0}}},
        {KeyboardType::GERMAN,
         "^",
         {{KEY_GRAVE, 1}, {KEY_GRAVE, 0}, {KEY_SPACE, 1}, {KEY_SPACE, 0}}},
        {KeyboardType::US_INTERNATIONAL,
         "\"",
         {{KEY_LEFTSHIFT, 1},
          {KEY_LEFTSHIFT, 0},
          {KEY_LEFTSHIFT, 1},
          {KEY_RIGHTALT, 1},
          {KEY_APOSTROPHE, 1},
          {KEY_APOSTROPHE, 0},
          {KEY_LEFTSHIFT, 0},
          {KEY_RIGHTALT, 0}}},
    };
    for (const auto& [layout, text, keys] : cases) {
        openDevice();
        EXPECT_EQ(typed(layout, text), keys) << text;
    }
}

TEST_F(UinputKeyboardTest, KeypadDigitsTurnNumLockOnAndBackOff) {
    LayoutKeyEvents keys(KeyboardType::QUERTY, std::move(keyboard_));
    keys.keyPress(VirtualKey::Kp7);
    keys.keyRelease(VirtualKey::Kp7);
    EXPECT_EQ(sent(), (KeyEvents{{KEY_NUMLOCK, 1},
                                 {KEY_NUMLOCK, 0},
                                 {KEY_KP7, 1},
                                 {KEY_KP7, 0},
                                 {KEY_NUMLOCK, 1},
                                 {KEY_NUMLOCK, 0}}));
    sendLed(LED_NUML, 1);
    keys.keyPress(VirtualKey::Kp7);
    keys.keyRelease(VirtualKey::Kp7);
    EXPECT_EQ(sent(), (KeyEvents{{KEY_KP7, 1}, {KEY_KP7, 0}}));
}

TEST_F(UinputKeyboardTest, KeysStillDownAreReleasedAtTheEnd) {
    {
        LayoutKeyEvents keys(KeyboardType::GERMAN, std::move(keyboard_));
        keys.keyPress(VirtualKey::Shift);
        keys.keyPress(VirtualKey::Ctrl);
        keys.keyPress(VirtualKey::Alt);
        keys.keyPress(VirtualKey::Q);
    }  // as when a connection stops in the middle of a character
    EXPECT_EQ(sent(), (KeyEvents{{KEY_LEFTSHIFT, 1},
                                 {KEY_RIGHTALT, 1},
                                 {KEY_Q, 1},
                                 {KEY_Q, 0},
                                 {KEY_LEFTSHIFT, 0},
                                 {KEY_RIGHTALT, 0}}));
}

TEST(UinputKeyboardOpenTest, AMissingDeviceSaysHowToLoadIt) {
    const std::string message = test::failureMessage<KeyEventError>(
        [] { UinputKeyboard::create("/nonexistent/uinput", std::chrono::milliseconds(0)); });
    EXPECT_NE(message.find("/nonexistent/uinput"), std::string::npos) << message;
    EXPECT_NE(message.find("modprobe uinput"), std::string::npos) << message;
}

// Where the kernel offers uinput to this user, the device shows among the input devices.
TEST(UinputKeyboardOpenTest, CreatesAVirtualKeyboard) {
    if (access(UinputKeyboard::kDevicePath, R_OK | W_OK) != 0)
        GTEST_SKIP() << "no usable " << UinputKeyboard::kDevicePath;
    auto keyboard = UinputKeyboard::create();
    std::ifstream devices("/proc/bus/input/devices");
    std::stringstream all;
    all << devices.rdbuf();
    EXPECT_NE(all.str().find("Scalino virtual keyboard"), std::string::npos);
}

}  // namespace
}  // namespace scalino
