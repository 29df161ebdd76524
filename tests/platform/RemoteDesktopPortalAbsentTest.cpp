// A build without the portal: the portal keyboard backend, asked for by name, names the ones to
// use instead, and no token is read or written.
#include <gtest/gtest.h>

#include "platform/KeyEventBackend.h"
#include "platform/RemoteDesktopPortal.h"
#include "worker/KeyEventGenerator.h"

namespace scalino {
namespace {

constexpr const char* kAdvice =
    "this build has no remote-desktop portal keyboard; use --keyboard wayland or uinput, or "
    "--keyboard x11 for X11 applications";

TEST(RemoteDesktopPortalAbsentTest, OpeningSaysWhatToUseInstead) {
    int tokenUses = 0;
    RestoreTokenStore tokens{[&tokenUses] {
                                 ++tokenUses;
                                 return std::string("token");
                             },
                             [&tokenUses](const std::string&) { ++tokenUses; }};
    try {
        RemoteDesktopPortal::open(tokens);
        FAIL() << "a portal session started in a build without the portal";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(), kAdvice);
    }
    EXPECT_EQ(tokenUses, 0);
}

TEST(RemoteDesktopPortalAbsentTest, ChoosingThePortalByNameSaysWhatToUseInstead) {
    try {
        createKeyEventGenerator(ConfigHelper::KeyboardType::DESKTOP, "portal", "de");
        FAIL() << "the portal backend started in a build without the portal";
    } catch (const KeyEventError& error) {
        EXPECT_STREQ(error.what(), kAdvice);
    }
}

}  // namespace
}  // namespace scalino
