#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "worker/DataLine.h"

namespace scalino::cli {

// A processed value for the terminal: UTF-8, control characters as <code> so that a value can
// never break the tab-separated line.
std::string displayValue(std::string_view value);

// Prints one received line as NUMBER <tab> VALUE <tab> FAULT <tab> RAW and flushes, so that a
// reader at the other end of a pipe sees each line as it arrives. False when the line could not
// be written; errno then says why.
bool printDataLine(std::FILE* out, const DataLine& line);

// Flushes out and tells whether everything written to it arrived; when not (a full disk, a
// closed pipe), says so on err, after the command's name, and returns false: the command must
// then end with a non-zero status.
bool outputWritten(std::FILE* out, std::FILE* err, const char* command);
// The message of outputWritten for a failure already seen; error is its errno value, 0 when
// unknown.
void reportUnwrittenOutput(std::FILE* err, const char* command, int error);

}  // namespace scalino::cli
