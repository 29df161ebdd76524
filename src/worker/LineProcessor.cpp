#include "worker/LineProcessor.h"

#include "config/Instrument.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using ConfigHelper::Instrument;

Instrument instrumentOf(const Config& config) {
    return config.getInstrument().value_or(ConfigHelper::getDefault<Instrument>());
}

std::string patternOf(const Config& config) {
    if (!config.getCustomRegEx().empty()) return patternFromUserText(config.getCustomRegEx());
    return std::string(ConfigHelper::getRegEx(instrumentOf(config)));
}

// The characters a "\s+" expression removes.
bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

LineProcessor::Semantics LineProcessor::semanticsFor(const Config& config) {
    return ConfigHelper::getInstrumentType(instrumentOf(config)) ==
                   ConfigHelper::InstrumentType::TEXT
               ? Semantics::Barcode
               : Semantics::Plain;
}

LineProcessor::LineProcessor(const Config& config, Semantics semantics, EventSink importantEvent)
    : semantics_(semantics),
      importantEvent_(std::move(importantEvent)),
      regex_(patternOf(config)),
      match_(regex_),
      captureGroup_(semantics == Semantics::Barcode
                        ? 1
                        : ConfigHelper::getCaptureGroup(instrumentOf(config))),
      editor_(config),
      remover_(config) {
    if (semantics == Semantics::Plain) formatter_ = NumberFormatter::fromConfig(config);
}

std::string LineProcessor::process(std::string_view line) {
    const Regex::Result found = regex_.find(line, match_);
    if (found == Regex::Result::LimitExceeded) {
        if (importantEvent_) importantEvent_(workerText("expression.too.complex"));
        return {};
    }
    if (found == Regex::Result::NotFound || captureGroup_ > regex_.groupCount()) return {};
    const auto text = match_.group(captureGroup_);
    if (!text) {
        // A group that took no part in the match: a failed line for barcodes, no value otherwise.
        if (semantics_ == Semantics::Barcode) throw ProcessingError(workerText("no.value"));
        return {};
    }
    value_.assign(editor_.edit(*text));
    remover_.removeCharactersInPlace(value_);
    if (semantics_ == Semantics::Barcode) return value_;
    std::erase_if(value_, isWhitespace);
    if (value_.empty()) return {};
    return formatter_->format(value_);
}

std::optional<std::string> LineProcessor::processLine(std::string_view line) {
    if (semantics_ == Semantics::Plain) return process(line);
    try {
        return process(line);
    } catch (const ProcessingError& error) {
        if (importantEvent_) importantEvent_(std::string("Error [WW]: ") + error.what());
        return std::nullopt;
    }
}

}  // namespace scalino
