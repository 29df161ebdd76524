// A build without X11: the x11 keyboard backend, asked for by name, names the one to use instead.
#include <gtest/gtest.h>

#include "platform/KeyEventBackend.h"
#include "platform/XTestKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

constexpr const char* kAdvice =
    "this build has no X11 keyboard output; use --keyboard wayland or uinput";

TEST(XTestKeyboardAbsentTest, OpeningSaysToUseUinput) {
    try {
        XTestKeyboard::open();
        FAIL() << "an X11 keyboard opened in a build without X11";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(), kAdvice);
    }
}

TEST(XTestKeyboardAbsentTest, ChoosingX11ByNameSaysToUseUinput) {
    try {
        createKeyEventGenerator(ConfigHelper::KeyboardType::QUERTY, "x11");
        FAIL() << "the x11 backend started in a build without X11";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(), kAdvice);
    }
}

}  // namespace
}  // namespace scalino
