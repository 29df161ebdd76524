// A build without Wayland: the wayland keyboard backend, asked for by name, names the ones to use
// instead.
#include <gtest/gtest.h>

#include "platform/KeyEventBackend.h"
#include "platform/WaylandVirtualKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

constexpr const char* kAdvice =
    "this build has no Wayland keyboard output; use --keyboard uinput, or --keyboard x11 for X11 "
    "applications";

TEST(WaylandVirtualKeyboardAbsentTest, OpeningSaysWhatToUseInstead) {
    try {
        WaylandVirtualKeyboard::open();
        FAIL() << "a Wayland keyboard opened in a build without Wayland";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(), kAdvice);
    }
}

TEST(WaylandVirtualKeyboardAbsentTest, ChoosingWaylandByNameSaysWhatToUseInstead) {
    try {
        createKeyEventGenerator(ConfigHelper::KeyboardType::DESKTOP, "wayland");
        FAIL() << "the wayland backend started in a build without Wayland";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(), kAdvice);
    }
}

}  // namespace
}  // namespace scalino
