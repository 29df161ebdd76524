// scalino-cli ports, run as a program.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/Subprocess.h"
#include "support/TempDir.h"

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

// A file standing in for a device node: group dialout, the given mode.
std::string portFile(const test::TempDir& dir, const std::string& name, mode_t mode) {
    const std::string path = (dir / name).string();
    std::ofstream(path).put('\n');
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr || ::chown(path.c_str(), ::geteuid(), dialout->gr_gid) != 0) return "";
    ::chmod(path.c_str(), mode);
    return path;
}

// Runs a program as the user nobody, in no supplementary group, as setpriv(1) does.
test::ProcessResult asNobody(std::vector<std::string> command,
                             const std::vector<std::string>& environment = {}) {
    command.insert(command.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups"});
    return test::runProgram("/usr/bin/setpriv", command, "", environment);
}

TEST(PortsCommandTest, PortsOpenToTheUserAddNothingOnStandardError) {
    const test::TempDir dir;
    const std::string port = (dir / "ttyUSB0").string();
    std::ofstream(port).put('\n');
    const auto result = test::runProgram(SCALINO_CLI, {"ports"}, "", {"SERIAL_PORT_LIST=" + port});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err.find("access"), std::string::npos) << result.err;
}

// Run as nobody, who is in no group that grants access to the first port.
TEST(PortsCommandTest, PortsWithoutAccessAreNamedOnceWithTheGroupToJoin) {
    const test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string refused = portFile(dir, "ttyUSB0", 0660);
    const std::string open = portFile(dir, "ttyUSB1", 0666);
    if (refused.empty() || open.empty()) GTEST_SKIP() << "no group dialout to give files to";
    if (asNobody({"/bin/true"}).exitStatus != 0) GTEST_SKIP() << "cannot run programs as nobody";
    const auto result =
        asNobody({SCALINO_CLI, "ports"}, {"SERIAL_PORT_LIST=" + refused + ":" + open});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find(open), std::string::npos) << result.out;
    const std::string note = "No read and write access to " + refused +
                             ". Add your user to the group dialout (sudo usermod -aG dialout "
                             "$USER), then log out and back in.\n";
    EXPECT_NE(result.err.find(note), std::string::npos) << result.err;
    // Once: no second note, and the port open to nobody is in none.
    EXPECT_EQ(result.err.find("access", result.err.find(note) + note.size()), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find(open), std::string::npos) << result.err;
}

TEST(PortsCommandTest, UnknownOptionsAreRefused) {
    const auto result = test::runProgram(SCALINO_CLI, {"ports", "--all"}, "");
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("--all"), std::string::npos);
}

}  // namespace
}  // namespace scalino
