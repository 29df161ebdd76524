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
// outputs; waits for it to end.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input);

}  // namespace scalino::test
