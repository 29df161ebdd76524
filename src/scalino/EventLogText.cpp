#include "scalino/EventLogText.h"

#include <algorithm>
#include <cstdio>

namespace scalino {
namespace {

std::string timePrefix(const std::tm& time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d ", time.tm_hour, time.tm_min, time.tm_sec);
    return text;
}

std::string replaced(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// Where the value stands in the readable text: as it is, or with its decimal separator the
// other way round (the instrument may send a point where a comma is typed, or the reverse).
size_t findValue(const std::string& readable, const std::string& value) {
    for (const std::string& candidate :
         {value, replaced(value, ',', '.'), replaced(value, '.', ',')}) {
        if (const size_t at = readable.find(candidate); at != std::string::npos) return at;
    }
    return std::string::npos;
}

}  // namespace

std::string logEntry(const std::tm& time, const std::string& text) {
    return timePrefix(time) + text + "\n";
}

std::vector<StyledText> displayLine(const DataLine& line) {
    const std::tm time = line.getDateTime();
    const std::string readable = line.getRawData();
    const std::string& value = line.getProcessedData();
    if (value.empty()) return {{logEntry(time, readable), LogStyle::Ignored}};
    const size_t at = findValue(readable, value);
    // A "<" before the value is a control character shown as its code: the positions of the
    // readable text no longer match what was received, so nothing is marked.
    if (at == std::string::npos || readable.find('<') < at) {
        return {{logEntry(time, readable), LogStyle::Unknown}};
    }
    const size_t end = std::min(readable.size(), at + value.size());
    return {{timePrefix(time), LogStyle::Regular},
            {readable.substr(0, at), LogStyle::Ignored},
            {readable.substr(at, end - at), LogStyle::Typed},
            {readable.substr(end) + "\n", LogStyle::Ignored}};
}

}  // namespace scalino
