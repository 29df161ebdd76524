// The access advice for serial device nodes, from real files given a group and a mode.
#include "platform/SerialAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "support/TempDir.h"

namespace scalino {
namespace {

// A group other than root's that exists on every Debian-like system, or none.
const group* someGroup() {
    for (const char* name : {"dialout", "uucp", "tty", "nogroup"}) {
        if (const group* found = ::getgrnam(name)) return found;
    }
    return nullptr;
}

// A file in dir owned by gid with the mode, as a device node would be.
std::string nodeWith(const test::TempDir& dir, gid_t gid, mode_t mode) {
    const std::string path = (dir / "ttyUSB0").string();
    std::ofstream(path).put('\n');
    if (::chown(path.c_str(), ::geteuid(), gid) != 0) return "";
    ::chmod(path.c_str(), mode);
    return path;
}

TEST(SerialAccessTest, GroupWithReadAndWriteIsNamed) {
    const group* found = someGroup();
    if (found == nullptr) GTEST_SKIP() << "no group to give the file";
    const test::TempDir dir;
    const std::string path = nodeWith(dir, found->gr_gid, 0660);
    if (path.empty()) GTEST_SKIP() << "this user may not give files to other groups";
    const std::string name = found->gr_name;
    EXPECT_EQ(accessGroup(found->gr_gid, 0660), name);
    EXPECT_EQ(serialAccessHint(path), "Add your user to the group " + name + " (sudo usermod -aG " +
                                          name + " $USER), then log out and back in.");
}

TEST(SerialAccessTest, GroupWithoutWriteGrantsNothing) {
    const group* found = someGroup();
    if (found == nullptr) GTEST_SKIP() << "no group to give the file";
    const test::TempDir dir;
    const std::string path = nodeWith(dir, found->gr_gid, 0640);
    if (path.empty()) GTEST_SKIP() << "this user may not give files to other groups";
    EXPECT_EQ(accessGroup(found->gr_gid, 0640), "");
    EXPECT_EQ(serialAccessHint(path), "Ask your administrator for read and write access to " +
                                          path + " (for example with a udev rule).");
}

TEST(SerialAccessTest, RootGroupIsNoAdvice) {
    EXPECT_EQ(accessGroup(0, 0660), "");
}

TEST(SerialAccessTest, MissingNodeNeitherLacksAccessNorNamesAGroup) {
    const test::TempDir dir;
    const std::string path = (dir / "ttyUSB9").string();
    EXPECT_FALSE(lacksSerialAccess(path));
    EXPECT_NE(serialAccessHint(path).find("Ask your administrator"), std::string::npos);
}

TEST(SerialAccessTest, ReadableAndWritableNodeHasAccess) {
    const test::TempDir dir;
    EXPECT_FALSE(lacksSerialAccess(nodeWith(dir, ::getegid(), 0600)));
}

}  // namespace
}  // namespace scalino
