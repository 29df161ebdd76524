// A build without Wayland: KWin's fake input, asked for, names the ways to use instead.
#include <gtest/gtest.h>

#include "platform/KdeFakeInputKeyboard.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

TEST(KdeFakeInputKeyboardAbsentTest, OpeningSaysWhatToUseInstead) {
    try {
        KdeFakeInputKeyboard::open();
        FAIL() << "KWin's fake input opened in a build without Wayland";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(),
                     "this build has no Wayland keyboard output, KWin's fake input among them; "
                     "use --keyboard uinput, or --keyboard x11 for X11 applications");
    }
}

}  // namespace
}  // namespace scalino
