#include "worker/DataLine.h"

#include <ctime>

#include "util/Text.h"

namespace scalino {

std::tm DataLine::getDateTime() const {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(instant_);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

std::string DataLine::transformControlChars(std::string_view text) {
    return readableForm(text);
}

}  // namespace scalino
