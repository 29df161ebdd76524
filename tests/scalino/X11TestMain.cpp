// The main of the window's tests that need a real X server: keystrokes into another client, the
// tray. A private Xvfb with the US layout runs for the whole program, and Qt uses it through
// its xcb platform.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "platform/XvfbServer.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    scalino::test::XvfbServer server;
    if (!server.failure().empty()) {
        std::fprintf(stderr, "no X server: %s\n", server.failure().c_str());
        return 1;
    }
    if (const std::string failure = server.setLayout("us", ""); !failure.empty()) {
        std::fprintf(stderr, "%s\n", failure.c_str());
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    unsetenv("WAYLAND_DISPLAY");
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
