#pragma once

#include <string>
#include <vector>

#include "config/Instrument.h"

namespace scalino::cli {

// The lines the simulated instrument sends, in order, each ending with the instrument's default
// input terminator: the profile's sample lines, those without a value included, or typical
// readings in the instrument's format for profiles that come without samples.
std::vector<std::string> simulatedLines(ConfigHelper::Instrument instrument);

}  // namespace scalino::cli
