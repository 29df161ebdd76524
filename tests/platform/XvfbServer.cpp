#include "platform/XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <vector>

#include "support/Subprocess.h"

namespace scalino::test {

std::string findProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const std::string candidate = directory + "/" + std::string(name);
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// Xvfb writes the display number it took to the descriptor -displayfd names once it accepts
// connections, so neither a guessed number nor a wait is needed.
XvfbServer::XvfbServer() {
    const std::string program = findProgram("Xvfb");
    if (program.empty()) {
        failure_ = "Xvfb is not installed (package xvfb, see scripts/install-deps.sh)";
        return;
    }
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        failure_ = "pipe failed";
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        // The descriptor Xvfb writes to must survive exec: dup2 clears close-on-exec.
        if (ready[1] == 3) {
            fcntl(3, F_SETFD, 0);
        } else {
            dup2(ready[1], 3);
        }
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        // -noreset: the server would otherwise forget the layout when its last client leaves.
        execl(program.c_str(), "Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten",
              "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd fd{ready[0], POLLIN, 0};
    while (poll(&fd, 1, 20000) > 0) {
        char c;
        if (read(ready[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(ready[0]);
    if (number.empty()) {
        failure_ = "Xvfb did not start";
        return;
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

std::string XvfbServer::setLayout(std::string_view layout, std::string_view variant) const {
    const std::string program = findProgram("setxkbmap");
    if (program.empty()) return "setxkbmap is not installed (package x11-xkb-utils)";
    std::vector<std::string> arguments = {"-display", display_,
                                          "-rules",   "evdev",
                                          "-model",   "pc105",
                                          "-layout",  std::string(layout),
                                          "-variant", std::string(variant)};
    const ProcessResult result = runProgram(program, arguments, "");
    if (result.exitStatus != 0) return "setxkbmap failed: " + result.err;
    return "";
}

}  // namespace scalino::test
