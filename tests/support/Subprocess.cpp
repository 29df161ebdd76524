#include "support/Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

extern char** environ;

namespace scalino::test {

namespace {

// Starts program with the given ends of three pipes as its standard streams.
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::vector<std::string>& environment, int in[2], int out[2], int err[2]) {
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    for (char** entry = environ; *entry != nullptr; ++entry)
        envp.push_back(*entry);
    envp.push_back(nullptr);
    pid_t pid;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]), close(out[1]), close(err[1]);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

int exitStatusOf(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// How long a test waits for a program to end before it kills it.
constexpr std::chrono::seconds kProgramDeadline{60};

using Deadline = std::chrono::steady_clock::time_point;

Deadline programDeadline() {
    return std::chrono::steady_clock::now() + kProgramDeadline;
}

// Milliseconds left until the deadline, at least 0.
int millisecondsLeft(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Kills a program that outlived its deadline; its standard error says so, for the test's
// message.
void endOverdue(pid_t pid, std::string& err) {
    kill(pid, SIGKILL);
    err += "\n[killed by the test: the program did not end within " +
           std::to_string(kProgramDeadline.count()) + " s]\n";
}

}  // namespace

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input, const std::vector<std::string>& environment) {
    int in[2], out[2], err[2];
    const pid_t pid = spawn(program, arguments, environment, in, out, err);

    // Write and read at the same time, so neither side blocks on a full pipe.
    signal(SIGPIPE, SIG_IGN);
    ProcessResult result;
    size_t written = 0;
    int inFd = in[1];
    if (input.empty()) close(inFd), inFd = -1;
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
    int open = 2;
    const Deadline deadline = programDeadline();
    while (open > 0 || fds[2].fd >= 0) {
        const int left = millisecondsLeft(deadline);
        if (left == 0) {
            endOverdue(pid, result.err);
            break;
        }
        if (poll(fds, 3, left) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd), fds[i].fd = -1, --open;
            }
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t n = write(fds[2].fd, input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n < 0 || written == input.size()) close(fds[2].fd), fds[2].fd = -1;
        }
    }
    for (const pollfd& left : fds) {
        if (left.fd >= 0) close(left.fd);
    }
    result.exitStatus = exitStatusOf(pid);
    return result;
}

RunningProgram::RunningProgram(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment) {
    int in[2], out[2], err[2];
    pid_ = spawn(program, arguments, environment, in, out, err);
    close(in[1]);
    out_ = out[0];
    err_ = err[0];
}

RunningProgram::~RunningProgram() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        exitStatusOf(pid_);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

bool RunningProgram::pump(int timeoutMs) {
    pollfd fds[2] = {{outputHeld_ ? -1 : out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    if (poll(fds, 2, timeoutMs) <= 0) return true;
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? result_.out : result_.err).append(buffer, static_cast<size_t>(n));
        } else {
            close(fds[i].fd);
            (i == 0 ? out_ : err_) = -1;
        }
    }
    return true;
}

std::optional<std::string> RunningProgram::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t end = result_.out.find('\n');
        if (end != std::string::npos) {
            std::string line = result_.out.substr(0, end);
            result_.out.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0) return std::nullopt;
        pump(static_cast<int>(left.count()));
    }
}

void RunningProgram::signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

ProcessResult RunningProgram::wait() {
    const Deadline deadline = programDeadline();
    while (pump(millisecondsLeft(deadline))) {
        if (millisecondsLeft(deadline) == 0) {
            endOverdue(pid_, result_.err);
            break;
        }
    }
    result_.exitStatus = exitStatusOf(pid_);
    pid_ = -1;
    return result_;
}

const std::string& RunningProgram::err() {
    pump(0);
    return result_.err;
}

}  // namespace scalino::test
