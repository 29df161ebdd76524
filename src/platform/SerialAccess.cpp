#include "platform/SerialAccess.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace scalino {

std::string accessGroup(gid_t gid, mode_t mode) {
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    // Root's group is no group a user is told to join.
    if (gid == 0 || (mode & kGroupReadWrite) != kGroupReadWrite) return "";
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return "";
    return found->gr_name;
}

std::string serialAccessHint(const std::string& path) {
    struct stat st {};
    const std::string name =
        ::stat(path.c_str(), &st) == 0 ? accessGroup(st.st_gid, st.st_mode) : "";
    if (!name.empty()) {
        return "Add your user to the group " + name + " (sudo usermod -aG " + name +
               " $USER), then log out and back in.";
    }
    // No group grants access (or the node is missing): joining a group would not help.
    return "Ask your administrator for read and write access to " + path +
           " (for example with a udev rule).";
}

bool lacksSerialAccess(const std::string& path) {
    if (::access(path.c_str(), R_OK | W_OK) == 0) return false;
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

}  // namespace scalino
