#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli read: connects to the instrument on a serial port and prints every received line
// until SIGINT or SIGTERM; optionally types and sounds the values. Returns the exit status.
int runRead(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace scalino::cli
