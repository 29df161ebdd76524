#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli process: reads bytes from inputFd until its end and prints one line per received
// line. Returns the exit status.
int runProcess(const std::vector<std::string>& arguments, int inputFd, std::FILE* out,
               std::FILE* err);

}  // namespace scalino::cli
