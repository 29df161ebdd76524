#pragma once

#include <cstdint>
#include <optional>

#include "config/Config.h"
#include "util/Decimal.h"
#include "worker/DataLine.h"

namespace scalino {

// Duplicate suppression: empties the value of a reading that repeats the previous one within
// the time limit and the tolerance, so that nothing is typed for it.
class Ignorer {
public:
    explicit Ignorer(const Config& config);

    // Applies the rule to line in place.
    void process(DataLine& line);
    // Arrived within the time limit of the previous reading (always, without a limit).
    bool inTime(const DataLine& line) const;
    // Within the difference of the previous reading's value; identical text when the
    // difference is 0. A value that is not a number is never within a non-zero difference.
    bool inTolerance(const DataLine& line) const;

private:
    std::optional<DataLine> lastData_;
    std::int32_t timeLimit_ = 0;
    Decimal difference_;
};

}  // namespace scalino
