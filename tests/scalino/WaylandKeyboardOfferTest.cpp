// Whether the automatic keyboard output would go through a compositor's virtual keyboard, as
// the window asks before it connects: only a compositor that answers with the protocol offers
// it.
#include <gtest/gtest.h>

#include <QByteArray>

#include <filesystem>
#include <functional>

#include "platform/FakeInputServer.h"
#include "platform/SwayServer.h"
#include "scalino/WindowServices.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

// $WAYLAND_DISPLAY set (or cleared, for "") while the object lives, then as it was.
class WaylandDisplay {
public:
    explicit WaylandDisplay(const std::string& socket) : saved_(qgetenv("WAYLAND_DISPLAY")) {
        qputenv("WAYLAND_DISPLAY", QByteArray::fromStdString(socket));
    }
    ~WaylandDisplay() {
        if (saved_.isNull()) {
            qunsetenv("WAYLAND_DISPLAY");
        } else {
            qputenv("WAYLAND_DISPLAY", saved_);
        }
    }
    WaylandDisplay(const WaylandDisplay&) = delete;
    WaylandDisplay& operator=(const WaylandDisplay&) = delete;

private:
    QByteArray saved_;
};

TEST(WaylandKeyboardOfferTest, OnlyACompositorWithTheVirtualKeyboardOffersIt) {
    const test::SwayServer sway("de");
    if (!sway.failure().empty()) GTEST_SKIP() << sway.failure();
    // A seat without a keyboard, and no fake input either.
    const test::FakeInputServer withoutProtocol("", 0);
    ASSERT_EQ(withoutProtocol.failure(), "");
    const test::TempDir runtime;
    struct Case {
        std::string name;
        std::string socket;
        bool offered;
    };
    const Case cases[] = {
        {"no Wayland session", "", false},
        {"no compositor answers", (runtime / "wayland-0").string(), false},
        {"a compositor without the protocol", withoutProtocol.socket(), false},
        {"Sway", sway.socket(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WaylandDisplay display(c.socket);
        EXPECT_EQ(waylandKeyboardOffered(), c.offered);
    }
}

}  // namespace
}  // namespace scalino
