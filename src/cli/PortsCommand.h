#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli ports: one line per serial port, its name, a tab and its friendly name.
int runPorts(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace scalino::cli
