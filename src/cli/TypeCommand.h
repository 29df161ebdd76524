#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli type TEXT: types the text as a connection types a value, with the layout, start
// key, end key and delay of the settings. Returns the exit status.
int runType(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace scalino::cli
