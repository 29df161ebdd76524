#include "config/Config.h"

#include <stdexcept>

#include "util/Text.h"

namespace scalino {

Config& Config::operator=(const Config& other) {
    fields_ = other.fields_;
    prevPort_ = other.prevPort_;
    return *this;
}

Config Config::copyConfig(const Config& config) {
    return Config(config.fields_);
}

void Config::setInstrument(Instrument instrument) {
    fields_.instrument = instrument;
    const bool number =
        ConfigHelper::getInstrumentType(instrument) == ConfigHelper::InstrumentType::NUMBER;
    const PropertyChangeEvent event{number ? "NUMBER" : "TEXT", instrument};
    // A copy, so a listener may remove itself while being told.
    const auto listeners = listeners_;
    for (const auto& entry : listeners)
        entry.second(event);
}

int Config::getDelayAsInt() const {
    return parseInt(fields_.delay).value_or(*parseInt(ConfigHelper::Delay::getDefault()));
}

std::optional<int> Config::getDecimalPlacesAsInt() const {
    return parseInt(fields_.decimalPlaces);
}

int Config::getEditNumCharactersAsInt() const {
    return parseInt(fields_.editNumCharacters).value_or(0);
}

Decimal Config::getMathOperandAsBigDecimal() const {
    auto operand = Decimal::parse(fields_.mathOperand);
    if (!operand || !ConfigHelper::MathOperand::isValid(fields_.mathOperand)) {
        throw std::invalid_argument("math operand is not a number other than 0: \"" +
                                    fields_.mathOperand + "\"");
    }
    return *operand;
}

bool Config::roundingEnabled() const {
    const auto places = getDecimalPlacesAsInt();
    return places && *places >= 0 && *places <= 7;
}

bool Config::mathOperationEnabled() const {
    if (fields_.mathOperation == ConfigHelper::MathOperation::NONE || fields_.mathOperand.empty())
        return false;
    if (fields_.mathOperation == ConfigHelper::MathOperation::DIVIDE) return roundingEnabled();
    return true;
}

Config::ListenerId Config::addPropertyChangeListener(Listener listener) {
    listeners_.emplace_back(nextListenerId_, std::move(listener));
    return nextListenerId_++;
}

void Config::removePropertyChangeListener(ListenerId id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

}  // namespace scalino
