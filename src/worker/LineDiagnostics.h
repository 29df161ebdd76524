#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/Config.h"

namespace scalino {

// Watches the lines of one connection for the two settings a new user most often gets wrong,
// so that the log says so while the connection reads rather than only when it ends: an input
// terminator the instrument does not send, and an expression its lines do not match. Each is
// reported once per connection. The read loop feeds it and gives the times, so that it can be
// driven without a port or a clock.
class LineDiagnostics {
public:
    using Clock = std::chrono::steady_clock;
    // The phrase that tells the user where the front end changes a setting to a value (see
    // WeightWorkerView::settingControl).
    using SettingControl = std::function<std::string(std::string_view key, std::string_view value)>;

    // An instrument sends a line in well under a second; a line open this long waits for a
    // terminator that is not coming.
    static constexpr std::chrono::seconds kTerminatorWait{2};
    // Instruments send the odd line without a value (an overload, a status line); this many in
    // a row means the expression does not fit the instrument.
    static constexpr int kLinesWithoutValue = 10;

    LineDiagnostics(const Config& config, SettingControl settingControl);

    // The bytes received so far of the line that waits for its terminator, at now: the first
    // call after a line ended starts the wait. The report once the wait has lasted
    // kTerminatorWait, the first time only.
    std::optional<std::string> pendingLine(std::string_view pending, Clock::time_point now);
    // The pending line ended, with its terminator or discarded: the next byte starts a new wait.
    void lineEnded() { pendingSince_.reset(); }
    // A line (terminator included) that was processed, and whether it yielded a value. The
    // report on the kLinesWithoutValue-th line in a row without one, the first time only.
    std::optional<std::string> processedLine(std::string_view line, bool hasValue);

private:
    std::string missingTerminatorReport(std::string_view pending) const;
    std::string noValueReport(std::string_view line) const;

    SettingControl settingControl_;
    unsigned char terminator_;
    std::string instrumentName_;  // empty with a custom expression
    std::optional<Clock::time_point> pendingSince_;
    int linesWithoutValue_ = 0;
    bool terminatorReported_ = false;
    bool valueReported_ = false;
};

}  // namespace scalino
