#include "platform/SwayServer.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/XvfbServer.h"
#include "support/Subprocess.h"

namespace scalino::test {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(20);

}  // namespace

SwayServer::SwayServer(std::string_view layout, std::string_view variant) {
    start(layout, variant);
}

void SwayServer::start(std::string_view layout, std::string_view variant) {
    const std::string sway = findProgram("sway");
    if (sway.empty()) {
        failure_ = "sway is not installed (package sway, see scripts/install-deps.sh)";
        return;
    }
    // Not below the test's own temporary folders: the user nobody must reach it.
    std::string pattern = "/tmp/scalino-sway-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        failure_ = "cannot make a runtime folder for sway";
        return;
    }
    runtimeDir_ = pattern;
    std::ofstream(runtimeDir_ / "config") << "input * xkb_layout " << layout << "\n"
                                          << "input * xkb_variant \"" << variant << "\"\n";
    const bool asRoot = geteuid() == 0;
    const passwd* nobody = asRoot ? getpwnam("nobody") : nullptr;
    if (asRoot && nobody == nullptr) {
        failure_ = "sway refuses root and there is no user nobody to run it as";
        return;
    }
    if (asRoot) {
        if (chown(runtimeDir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
            chown((runtimeDir_ / "config").c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
            failure_ = "cannot hand the runtime folder to the user nobody";
            return;
        }
    }
    chmod(runtimeDir_.c_str(), 0700);
    const std::string logPath = (runtimeDir_ / "sway.log").string();
    pid_ = fork();
    if (pid_ == 0) {
        const int logFile = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(logFile, 1);
        dup2(logFile, 2);
        const int none = open("/dev/null", O_RDONLY);
        dup2(none, 0);
        if (asRoot) {
            // The log was made by root, and sway may write it on as nobody.
            if (fchown(logFile, nobody->pw_uid, nobody->pw_gid) != 0) _exit(126);
            if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
                setuid(nobody->pw_uid) != 0)
                _exit(126);
        }
        const std::string runtime = "XDG_RUNTIME_DIR=" + runtimeDir_.string();
        const std::string home = "HOME=" + runtimeDir_.string();
        const std::string config = (runtimeDir_ / "config").string();
        // No screen, no input devices, software rendering; no X server for it to start.
        char* environment[] = {const_cast<char*>(runtime.c_str()),
                               const_cast<char*>(home.c_str()),
                               const_cast<char*>("PATH=/usr/bin:/bin"),
                               const_cast<char*>("WLR_BACKENDS=headless"),
                               const_cast<char*>("WLR_RENDERER=pixman"),
                               const_cast<char*>("WLR_LIBINPUT_NO_DEVICES=1"),
                               nullptr};
        execle(sway.c_str(), "sway", "-c", config.c_str(), static_cast<char*>(nullptr),
               environment);
        _exit(127);
    }
    // Sway makes its socket once it takes clients.
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (access(socket().c_str(), F_OK) == 0) return;
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "sway did not start: " + log();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    failure_ = "sway made no socket within 20 s: " + log();
}

SwayServer::~SwayServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (!runtimeDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(runtimeDir_, ignored);
    }
}

std::string SwayServer::log() const {
    std::ifstream in(runtimeDir_ / "sway.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SwayServer::ipcSocket() const {
    // Sway makes it in its runtime folder: sway-ipc.<uid>.<pid>.sock.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(runtimeDir_, ignored)) {
        if (entry.path().filename().string().starts_with("sway-ipc.")) return entry.path();
    }
    return "";
}

std::string SwayServer::command(const std::string& command) const {
    const std::string socketPath = ipcSocket();
    if (socketPath.empty()) return "sway has no IPC socket in " + runtimeDir_.string();
    const std::string swaymsg = findProgram("swaymsg");
    if (swaymsg.empty()) return "swaymsg is not installed (package sway)";
    const auto result = runProgram(swaymsg, {"-s", socketPath, command}, "");
    if (result.exitStatus != 0) return "swaymsg " + command + ": " + result.out + result.err;
    return "";
}

}  // namespace scalino::test
