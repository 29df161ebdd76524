#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "worker/DataLine.h"

// What the event log shows, as text and style, without the toolkit: the window only paints it.
namespace scalino {

// The named styles of the event log; each derives from Default.
enum class LogStyle { Default, Regular, Unknown, Important, Typed, Ignored };

struct StyledText {
    std::string text;
    LogStyle style;

    bool operator==(const StyledText&) const = default;
};

// "HH:MM:SS text\n", the time on the 24-hour clock.
std::string logEntry(const std::tm& time, const std::string& text);

// A received line as the log shows it: the time, then the readable raw text with the part that
// was taken as the value marked Typed and the rest Ignored. A line without a value is Ignored
// whole; a value that cannot be found in the readable text, or that stands after a control
// character, makes the whole line Unknown.
std::vector<StyledText> displayLine(const DataLine& line);

}  // namespace scalino
