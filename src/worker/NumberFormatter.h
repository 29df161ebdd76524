#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/Config.h"
#include "util/Decimal.h"

namespace scalino {

// Reads a value as an exact decimal number (comma or point), multiplies or divides it by the
// operand, limits its decimal places and writes it with the chosen decimal separator.
class NumberFormatter {
public:
    // decimalPlaces and roundingMode are used when rounding is enabled in config, operation and
    // operand when the math operation is.
    NumberFormatter(const Config& config, std::optional<int> decimalPlaces,
                    std::optional<RoundingMode> roundingMode,
                    std::optional<ConfigHelper::MathOperation> mathOperation,
                    std::optional<Decimal> mathOperand);
    // Everything taken from the settings, as a connection builds it.
    static NumberFormatter fromConfig(const Config& config);

    // Throws ProcessingError for a value that is not a number or a division by zero.
    std::string format(std::string_view value);

    // Reads a value with a comma or a point as decimal separator; scratch is reused storage.
    static bool readNumber(std::string_view value, std::string& scratch, Decimal& out);

private:
    std::optional<int> roundingPrecision_;
    std::optional<RoundingMode> roundingMode_;
    std::optional<ConfigHelper::MathOperation> mathOperation_;
    std::optional<Decimal> mathOperand_;
    char decimalSeparator_;
    bool roundingEnabled_;
    bool mathEnabled_;
    // Reused from value to value so that formatting allocates only the result.
    std::string text_;
    Decimal number_, result_;
};

}  // namespace scalino
