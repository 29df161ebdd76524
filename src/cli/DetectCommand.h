#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli detect: finds the port a handshaking instrument is attached to. The proposed
// port alone goes to out, the progress messages to err; exit status 0 when a port was
// proposed, 1 when none was, 2 for a bad option. SIGINT and SIGTERM stop the search.
int runDetect(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace scalino::cli
