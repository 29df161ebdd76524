#include "worker/LineDiagnostics.h"

#include <algorithm>
#include <array>
#include <vector>

#include "config/Instrument.h"
#include "worker/DataLine.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

constexpr std::array<std::string_view, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
constexpr unsigned char kDelete = 127;

bool isControl(unsigned char byte) {
    return byte < kControlNames.size() || byte == kDelete;
}

// Start of heading, start of text and escape open a line or a sequence; they never end one.
bool opensLine(unsigned char byte) {
    return byte == 1 || byte == 2 || byte == 27;
}

// The ASCII name of a control character, a printable character itself; empty above ASCII.
std::string nameOf(unsigned char byte) {
    if (byte < kControlNames.size()) return std::string(kControlNames[byte]);
    if (byte == kDelete) return "DEL";
    if (byte < kDelete) return std::string(1, static_cast<char>(byte));
    return {};
}

// "LF, 10", or the code alone for a byte without a name.
std::string describeTerminator(unsigned char byte) {
    const std::string name = nameOf(byte);
    return name.empty() ? std::to_string(byte) : name + ", " + std::to_string(byte);
}

// The control characters in the data that could end a line, in the order they first appear.
std::vector<unsigned char> lineEndsIn(std::string_view data) {
    std::vector<unsigned char> found;
    for (char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if (isControl(byte) && !opensLine(byte) &&
            std::find(found.begin(), found.end(), byte) == found.end()) {
            found.push_back(byte);
        }
    }
    return found;
}

// "CR (13), LF (10)"
std::string listed(const std::vector<unsigned char>& bytes) {
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty()) text += ", ";
        text += nameOf(byte) + " (" + std::to_string(byte) + ")";
    }
    return text;
}

// The line end to suggest: the usual ones first, LF before CR so that a line sent with CR LF
// ends after both; otherwise the last one that appeared.
unsigned char likelyTerminator(const std::vector<unsigned char>& found) {
    static constexpr unsigned char kUsual[] = {10, 13, 3, 4};  // LF, CR, ETX, EOT
    for (unsigned char usual : kUsual) {
        if (std::find(found.begin(), found.end(), usual) != found.end()) return usual;
    }
    return found.back();
}

std::string instrumentNameOf(const Config& config) {
    if (!config.getCustomRegEx().empty()) return {};
    using ConfigHelper::Instrument;
    return ConfigHelper::toString(
        config.getInstrument().value_or(ConfigHelper::getDefault<Instrument>()));
}

}  // namespace

LineDiagnostics::LineDiagnostics(const Config& config, SettingControl settingControl)
    : settingControl_(std::move(settingControl)),
      terminator_(static_cast<unsigned char>(config.getInputTerminator())),
      instrumentName_(instrumentNameOf(config)) {}

std::optional<std::string> LineDiagnostics::pendingLine(std::string_view pending,
                                                        Clock::time_point now) {
    if (terminatorReported_ || pending.empty()) return std::nullopt;
    if (!pendingSince_) pendingSince_ = now;
    if (now - *pendingSince_ < kTerminatorWait) return std::nullopt;
    terminatorReported_ = true;
    return missingTerminatorReport(pending);
}

std::optional<std::string> LineDiagnostics::processedLine(std::string_view line, bool hasValue) {
    if (hasValue) {
        linesWithoutValue_ = 0;
        return std::nullopt;
    }
    if (valueReported_ || ++linesWithoutValue_ < kLinesWithoutValue) return std::nullopt;
    valueReported_ = true;
    return noValueReport(line);
}

std::string LineDiagnostics::missingTerminatorReport(std::string_view pending) const {
    const std::string expected = describeTerminator(terminator_);
    const std::string seconds = std::to_string(kTerminatorWait.count());
    const std::vector<unsigned char> found = lineEndsIn(pending);
    if (found.empty()) {
        return workerText("no.terminator.none",
                          {expected, seconds, settingControl_("inputTerminator", "")});
    }
    const unsigned char likely = likelyTerminator(found);
    const std::string code = std::to_string(likely);
    return workerText("no.terminator.other", {expected, seconds, listed(found), nameOf(likely),
                                              code, settingControl_("inputTerminator", code)});
}

std::string LineDiagnostics::noValueReport(std::string_view line) const {
    const std::string count = std::to_string(kLinesWithoutValue);
    const std::string last = DataLine::transformControlChars(line);
    const std::string instrument = settingControl_("instrument", "");
    const std::string expression = settingControl_("customRegEx", "");
    if (instrumentName_.empty()) {
        return workerText("no.value.custom", {count, last, expression, instrument});
    }
    return workerText("no.value.instrument",
                      {count, instrumentName_, last, instrument, expression});
}

}  // namespace scalino
