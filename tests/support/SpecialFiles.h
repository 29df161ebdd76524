#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace scalino::test {

// Special files in folder, each with the reason a store gives for not replacing it: a FIFO, a
// folder, a link to the FIFO, a socket and, where this user may make one, a character device
// like /dev/null. Tests never use the system's own: a regression that replaced them, run as
// root, would break the machine.
inline std::vector<std::pair<std::filesystem::path, std::string>> makeSpecialFiles(
    const std::filesystem::path& folder) {
    std::vector<std::pair<std::filesystem::path, std::string>> files;
    EXPECT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    files.emplace_back(folder / "fifo", "it is a named pipe (FIFO), not a regular file");
    std::filesystem::create_directory(folder / "folder");
    files.emplace_back(folder / "folder", "it is a folder, not a regular file");
    std::filesystem::create_symlink("fifo", folder / "link-to-fifo");
    files.emplace_back(folder / "link-to-fifo",
                       (folder / "fifo").string() + " is a named pipe (FIFO), not a regular file");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (folder / "socket").string();
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    files.emplace_back(folder / "socket", "it is a socket, not a regular file");
    if (::mknod((folder / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0)
        files.emplace_back(folder / "null", "it is a character device, not a regular file");
    return files;
}

}  // namespace scalino::test
