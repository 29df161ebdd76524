// The processing of received lines with fuzzed settings: the settings go through the settings
// store's acceptance rules, the bytes through the line assembler, and every complete line
// through the line processor and the duplicate suppression, as `scalino-cli process` does. A
// ProcessingError is an expected outcome (it ends a plain connection); any other exception, a
// crash, a hang or unbounded memory is a finding. A value of a number instrument must be a
// number in the chosen separator, with no more decimals than rounding allows.
//
// Input: "key=value" lines in the form the settings store holds them (keys as in
// `scalino-cli process --set`), a line "--", then the received bytes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "config/ConfigKeys.h"
#include "worker/DataLine.h"
#include "worker/Ignorer.h"
#include "worker/LineAssembler.h"
#include "worker/LineProcessor.h"
#include "worker/WorkerBundle.h"

namespace {

using scalino::Config;
using scalino::LineProcessor;
using scalino::fuzz::shown;

constexpr std::string_view kSettingsEnd = "--";

// Applies the settings lines; returns the received bytes after the "--" line.
std::string_view applySettings(std::string_view input, Config& config) {
    while (!input.empty()) {
        const size_t end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        if (line == kSettingsEnd) return input;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (const scalino::ConfigKey* key = scalino::findConfigKey(line.substr(0, equals)))
            key->set(config, line.substr(equals + 1));  // refused values keep the default
    }
    return {};
}

// A value of a number instrument: an optional minus, digits and, after the chosen separator,
// more digits; with rounding on, no more decimals than the setting allows.
void checkNumber(const std::string& value, const Config& config) {
    const char separator =
        config.getDecimalSeparator() == scalino::ConfigHelper::DecimalSeparator::COMMA ? ',' : '.';
    const size_t start = value.starts_with('-') ? 1 : 0;
    const size_t point = value.find(separator);
    const std::string_view integer(value.data() + start,
                                   (point == std::string::npos ? value.size() : point) - start);
    const std::string_view decimals =
        point == std::string::npos ? std::string_view() : std::string_view(value).substr(point + 1);
    const auto digitsOnly = [](std::string_view text) {
        return text.find_first_not_of("0123456789") == std::string_view::npos;
    };
    FUZZ_REQUIRE(!integer.empty() && digitsOnly(integer) && digitsOnly(decimals) &&
                     (point == std::string::npos || !decimals.empty()),
                 "value " + shown(value) + " is not a plain number");
    if (config.roundingEnabled()) {
        FUZZ_REQUIRE(
            decimals.size() <= static_cast<size_t>(*config.getDecimalPlacesAsInt()),
            "value " + shown(value) + " has more decimals than " + config.getDecimalPlaces());
    }
}

class Run {
public:
    explicit Run(const Config& config)
        : config_(config),
          semantics_(LineProcessor::semanticsFor(config)),
          processor_(config, semantics_, [](const std::string&) {}),
          assembler_(static_cast<unsigned char>(config.getInputTerminator())) {
        if (config.ignoreDuplicates()) ignorer_.emplace(config);
    }

    void feed(std::string_view bytes) {
        for (const char byte : bytes) {
            if (assembler_.push(static_cast<unsigned char>(byte)) !=
                scalino::LineAssembler::Push::Complete)
                continue;
            const bool goesOn = completeLine();
            assembler_.clear();
            if (!goesOn) return;
        }
    }

private:
    // False when the line ends the connection.
    bool completeLine() {
        ++count_;
        std::optional<std::string> value;
        try {
            value = processor_.processLine(assembler_.line());
        } catch (const scalino::ProcessingError&) {
            FUZZ_REQUIRE(semantics_ == LineProcessor::Semantics::Plain,
                         "a barcode line's failure reached the caller");
            return false;
        }
        if (!value) return true;
        if (semantics_ == LineProcessor::Semantics::Plain && !value->empty())
            checkNumber(*value, config_);
        // Readings a second apart, so that both the time limit and the tolerance matter.
        const auto instant = std::chrono::system_clock::time_point(std::chrono::seconds(count_));
        scalino::DataLine line(std::string(assembler_.line()), std::move(*value), count_, false,
                               instant);
        if (ignorer_) ignorer_->process(line);
        return true;
    }

    const Config& config_;
    LineProcessor::Semantics semantics_;
    LineProcessor processor_;
    scalino::LineAssembler assembler_;
    std::optional<scalino::Ignorer> ignorer_;
    std::int32_t count_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Config config = scalino::defaultStoreConfig();
    const std::string_view received =
        applySettings(std::string_view(reinterpret_cast<const char*>(data), size), config);
    // Every setting passed its acceptance rule, so building the processing must succeed: a
    // setting the store accepts but a connection cannot start with is a finding.
    Run run(config);
    run.feed(received);
    return 0;
}
