#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/Config.h"
#include "config/ConfigKeys.h"

namespace scalino::cli {

// The command line writes settings the way people know them: serial parameters by their real
// values (bitRate=9600, dataBits=7, stopBits=2, parity=even), constants in any letter case,
// QWERTY for the keyboard the store spells QUERTY. The store keeps positions and constant
// names, so these translate in both directions; the stored forms are accepted as well.

// value in the stored form of key, or value unchanged when it names nothing the key knows (the
// key's own check then refuses it). "1" for stopBits is one stop bit, not position 1.
std::string toStoredForm(const ConfigKey& key, std::string_view value);

// The setting as the command line writes it: toStoredForm gives back the stored form.
std::string toCommandLineForm(const ConfigKey& key, const Config& config);

// The assignments of "--line 9600,7E1" (or "2400,7E1,LF": bit rate, data bits, parity letter,
// stop bits, optionally the input terminator), or the message why line is not one.
std::variant<std::vector<std::string>, std::string> lineAssignments(std::string_view line);

// The line settings in the form "--line" takes: "2400 7E1 LF".
std::string lineSummary(const Config& config);

// "LF", "CR" or "EOT" for those codes, else the decimal code.
std::string terminatorName(int code);

}  // namespace scalino::cli
