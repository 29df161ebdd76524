#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace scalino::test {

struct ProcessResult {
    int exitStatus = -1;  // the exit code, or 128 + signal
    std::string out;
    std::string err;
};

// Runs program with arguments, feeding input to its standard input and collecting both
// outputs; waits for it to end. environment entries ("NAME=value") are added to this
// process's environment.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input,
                         const std::vector<std::string>& environment = {});

// A program that runs while the test talks to it: its standard output is read line by line,
// its standard error is collected, and it can be sent signals. Standard input is empty.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = {});
    // Kills the program if it still runs.
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // The next line of standard output without its newline, or nothing when the program closed
    // its output or timeout passed first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    void signal(int signal);
    // While held, standard output is left unread: it fills its pipe, and then the program's
    // writes wait, as they do when a reader stalls. Standard error is read on.
    void holdOutput(bool held) { outputHeld_ = held; }
    pid_t pid() const { return pid_; }
    // Waits for the end; out holds what readLine has not taken.
    ProcessResult wait();
    // Standard error so far.
    const std::string& err();

private:
    // Reads what is there, waiting at most timeout; false when both outputs are closed.
    bool pump(int timeoutMs);

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool outputHeld_ = false;
    ProcessResult result_;
};

}  // namespace scalino::test
