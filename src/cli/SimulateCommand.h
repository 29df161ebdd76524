#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli simulate: acts as the instrument of the settings on a pseudo-terminal, sending its
// lines until a count is reached or SIGINT, SIGTERM or SIGHUP arrives. Returns the exit status.
int runSimulate(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace scalino::cli
