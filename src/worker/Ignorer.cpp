#include "worker/Ignorer.h"

#include "util/Text.h"
#include "worker/NumberFormatter.h"

namespace scalino {

Ignorer::Ignorer(const Config& config) {
    timeLimit_ = parseInt(config.getIgnoreTimeLimit()).value_or(0);
    const auto instrument = config.getInstrument();
    const bool text = instrument && ConfigHelper::getInstrumentType(*instrument) ==
                                        ConfigHelper::InstrumentType::TEXT;
    if (!text) difference_ = Decimal::parse(config.getIgnoreDifference()).value_or(Decimal());
}

void Ignorer::process(DataLine& line) {
    if (!line.hasValue()) return;
    DataLine copy = line.copy();
    if (lastData_ && inTime(line) && inTolerance(line)) line.deleteProcessedData();
    lastData_ = std::move(copy);
}

bool Ignorer::inTime(const DataLine& line) const {
    if (!lastData_) return false;
    if (timeLimit_ == 0) return true;
    using std::chrono::duration_cast, std::chrono::milliseconds;
    const auto elapsed = duration_cast<milliseconds>(line.getInstant() - lastData_->getInstant());
    return elapsed.count() <= timeLimit_;
}

bool Ignorer::inTolerance(const DataLine& line) const {
    if (!lastData_) return false;
    if (difference_.isZero()) return line.getProcessedData() == lastData_->getProcessedData();
    std::string scratch;
    Decimal value, last;
    if (!NumberFormatter::readNumber(line.getProcessedData(), scratch, value) ||
        !NumberFormatter::readNumber(lastData_->getProcessedData(), scratch, last)) {
        return false;
    }
    return value.subtract(last).abs().compareTo(difference_) <= 0;
}

}  // namespace scalino
