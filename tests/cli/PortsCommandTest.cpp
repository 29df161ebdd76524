// scalino-cli ports, run as a program.
#include <gtest/gtest.h>

#include "support/Subprocess.h"

namespace scalino {
namespace {

TEST(PortsCommandTest, OnePortPerLineWithNothingElseOnStandardOutput) {
    const auto result = test::runProgram(SCALINO_CLI, {"ports"}, "",
                                         {"SERIAL_PORT_LIST=/dev/ttyUSB7;/dev/ttyS3:/dev/ttyUSB7"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    // Without driver information a port's friendly name is its name.
    EXPECT_EQ(result.out, "/dev/ttyUSB7\t/dev/ttyUSB7\n/dev/ttyS3\t/dev/ttyS3\n");
    EXPECT_NE(result.err.find("Rs232 Library"), std::string::npos);  // notices go to stderr
}

TEST(PortsCommandTest, DiscoveredPortsAreDevicesWithFriendlyNames) {
    const auto result = test::runProgram(SCALINO_CLI, {"ports", "--long"}, "");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    size_t start = 0;
    for (size_t end; (end = result.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = result.out.substr(start, end - start);
        const size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string name = line.substr(0, tab);
        EXPECT_EQ(name.rfind("/dev/", 0), 0u) << line;
        EXPECT_EQ(line.compare(tab + 1, name.size() + 2, name + ": "), 0) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
    }
    if (result.out.empty()) {
        EXPECT_NE(result.err.find("SERIAL_PORT_LIST"), std::string::npos);
    }
}

TEST(PortsCommandTest, UnknownOptionsAreRefused) {
    const auto result = test::runProgram(SCALINO_CLI, {"ports", "--all"}, "");
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("--all"), std::string::npos);
}

}  // namespace
}  // namespace scalino
