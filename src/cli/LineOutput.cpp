#include "cli/LineOutput.h"

#include <cerrno>
#include <cstring>

#include "util/Text.h"

namespace scalino::cli {

std::string displayValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            out += '<' + std::to_string(code) + '>';
        } else {
            out += latin1ToUtf8(std::string_view(&c, 1));
        }
    }
    return out;
}

bool printDataLine(std::FILE* out, const DataLine& line) {
    errno = 0;
    std::fprintf(out, "%d\t%s\t%d\t%s\n", line.getCount(),
                 displayValue(line.getProcessedData()).c_str(), line.isError() ? 1 : 0,
                 line.getRawData().c_str());
    return std::fflush(out) == 0 && !std::ferror(out);
}

bool outputWritten(std::FILE* out, std::FILE* err, const char* command) {
    errno = 0;
    if (std::fflush(out) == 0 && !std::ferror(out)) return true;
    reportUnwrittenOutput(err, command, errno);
    return false;
}

void reportUnwrittenOutput(std::FILE* err, const char* command, int error) {
    std::fprintf(err, "scalino-cli %s: the output could not be written: %s\n", command,
                 error != 0 ? std::strerror(error) : "write error");
}

}  // namespace scalino::cli
