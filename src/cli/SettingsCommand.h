#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace scalino::cli {

// scalino-cli settings [--prefs FILE] [--set KEY=VALUE]... [--save]
int runSettings(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
// scalino-cli export FILE [--prefs FILE]
int runExport(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);
// scalino-cli import FILE [--prefs FILE]
int runImport(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace scalino::cli
