#include "worker/NumberFormatter.h"

#include <algorithm>
#include <stdexcept>

#include "util/Text.h"
#include "worker/WorkerBundle.h"

namespace scalino {

NumberFormatter::NumberFormatter(const Config& config, std::optional<int> decimalPlaces,
                                 std::optional<RoundingMode> roundingMode,
                                 std::optional<ConfigHelper::MathOperation> mathOperation,
                                 std::optional<Decimal> mathOperand)
    : roundingPrecision_(decimalPlaces),
      roundingMode_(roundingMode),
      mathOperation_(mathOperation),
      mathOperand_(std::move(mathOperand)),
      decimalSeparator_(
          config.getDecimalSeparator() == ConfigHelper::DecimalSeparator::COMMA ? ',' : '.'),
      roundingEnabled_(config.roundingEnabled() && decimalPlaces && roundingMode),
      mathEnabled_(config.mathOperationEnabled() && mathOperation && mathOperand_) {
    if (mathEnabled_ && *mathOperation_ == ConfigHelper::MathOperation::DIVIDE &&
        !roundingEnabled_) {
        throw std::invalid_argument("division needs a number of decimal places to round to");
    }
}

NumberFormatter NumberFormatter::fromConfig(const Config& config) {
    std::optional<int> places;
    std::optional<RoundingMode> mode;
    if (config.roundingEnabled()) {
        places = config.getDecimalPlacesAsInt();
        mode = ConfigHelper::getRoundingMode(config.getRoundingMethod());
    }
    std::optional<ConfigHelper::MathOperation> operation;
    std::optional<Decimal> operand;
    if (config.mathOperationEnabled()) {
        operation = config.getMathOperation();
        operand = config.getMathOperandAsBigDecimal();
    }
    return NumberFormatter(config, places, mode, operation, std::move(operand));
}

bool NumberFormatter::readNumber(std::string_view value, std::string& scratch, Decimal& out) {
    scratch.assign(value);
    std::replace(scratch.begin(), scratch.end(), ',', '.');
    return Decimal::parse(scratch, out);
}

std::string NumberFormatter::format(std::string_view value) {
    if (!readNumber(value, text_, number_)) {
        throw ProcessingError(workerText("invalid.number", {readableForm(value)}));
    }
    Decimal* n = &number_;
    if (mathEnabled_ && *mathOperation_ == ConfigHelper::MathOperation::MULTIPLY) {
        Decimal::multiply(number_, *mathOperand_, result_);
        n = &result_;
    } else if (mathEnabled_ && *mathOperation_ == ConfigHelper::MathOperation::DIVIDE) {
        // Division is enabled only together with rounding, so the scale is always known.
        if (mathOperand_->isZero()) throw ProcessingError(workerText("division.by.zero"));
        Decimal::divide(number_, *mathOperand_, *roundingPrecision_, *roundingMode_, result_);
        n = &result_;
    }
    if (roundingEnabled_ && n->scale() > 0 && n->scale() > *roundingPrecision_) {
        Decimal::setScale(*n, *roundingPrecision_, *roundingMode_, *n);
    }
    std::string out;
    n->appendPlain(out, decimalSeparator_);
    return out;
}

}  // namespace scalino
