#pragma once

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

}  // namespace scalino::test
