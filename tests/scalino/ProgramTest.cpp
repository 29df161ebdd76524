// The scalino program itself, started as a user starts it: its command line and exit statuses.
#include <gtest/gtest.h>

#include "support/Subprocess.h"
#include "support/TempDir.h"

namespace scalino {
namespace {

TEST(ProgramTest, TheCommandLineIsReadBeforeAnyWindowOpens) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out, err;  // a text the output holds
    };
    const std::vector<Case> cases = {
        {{"--version"}, 0, SCALINO_VERSION, ""},
        {{"--help"}, 0, "--prefs <FILE>", ""},
        {{"--no-such-option"}, 2, "", "no-such-option"},
        {{"/dev/ttyUSB0", "/dev/ttyUSB1"}, 2, "", "Only one port"},
        {{"--prefs"}, 2, "", "prefs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        // No display: a window that opened by mistake would fail, not wait.
        const test::ProcessResult result = test::runProgram(
            SCALINO_GUI, c.arguments, "", {"QT_QPA_PLATFORM=offscreen", "DISPLAY="});
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    }
}

}  // namespace
}  // namespace scalino
