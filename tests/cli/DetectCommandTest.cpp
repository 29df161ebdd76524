// scalino-cli detect, run as a program over pseudo-terminals.
#include <gtest/gtest.h>

#include <sstream>

#include "support/Pty.h"
#include "support/Subprocess.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

// The lines of text from the first one equal to first.
std::vector<std::string> linesFrom(const std::string& text, const std::string& first) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line == first || !lines.empty()) lines.push_back(line);
    }
    return lines;
}

// Pseudo-terminals have no modem-control lines: each is reported and the search goes on.
TEST(DetectCommandTest, PortsThatCannotBeDrivenAreReportedAndNoneIsProposed) {
    test::Pty first, second;
    const auto result = test::runProgram(
        SCALINO_CLI, {"detect"}, "", {"SERIAL_PORT_LIST=" + first.path() + ":" + second.path()});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.out, "");
    const std::string started = workerText("auto.port.detection.started");
    const std::string noLines = "setDTR failed: modem-control lines are not available on this port";
    EXPECT_EQ(linesFrom(result.err, started),
              (std::vector<std::string>{started, workerText("testing.port.0", {first.path()}),
                                        noLines, workerText("testing.port.0", {second.path()}),
                                        noLines, workerText("could.not.auto.detect.port")}));
}

TEST(DetectCommandTest, HelpAndBadOptions) {
    struct Case {
        std::string argument;
        int exitStatus;
        std::string out;  // the start of standard output
        std::string err;  // a part of standard error
    };
    const std::vector<Case> cases = {
        {"--help", 0, "Usage: scalino-cli detect", ""},
        {"--port", 2, "", "unexpected argument '--port'; see --help"},
    };
    for (const Case& c : cases) {
        const auto result = test::runProgram(SCALINO_CLI, {"detect", c.argument}, "");
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.argument;
        EXPECT_EQ(result.out.substr(0, c.out.size()), c.out) << c.argument;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        if (c.out.empty()) {
            EXPECT_EQ(result.out, "");
        }
    }
}

}  // namespace
}  // namespace scalino
