#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "config/Config.h"
#include "util/Regex.h"
#include "worker/Editor.h"
#include "worker/NumberFormatter.h"
#include "worker/Remover.h"

namespace scalino {

// Turns one assembled line (terminator included) into the value to type, with the settings of
// one connection, built once: extraction with the custom expression or the instrument's,
// editing, character removal and then, for number instruments, whitespace removal and number
// formatting. Barcode instruments keep their text as extracted and edited.
class LineProcessor {
public:
    enum class Semantics {
        Plain,    // number instruments: the instrument's group, whitespace removed, formatted
        Barcode,  // text instruments: group 1, text kept as it stands
    };
    using EventSink = std::function<void(const std::string&)>;

    // The semantics the instrument in config calls for.
    static Semantics semanticsFor(const Config& config);

    // Compiles the expression and builds the editor, remover and formatter; throws
    // RegexSyntaxError for a custom expression that does not compile. importantEvent receives
    // events that do not end processing (an expression that ran too long on a line).
    LineProcessor(const Config& config, Semantics semantics, EventSink importantEvent);

    // The value of one line; empty when nothing is to be typed. Throws ProcessingError when the
    // line cannot be processed: for plain semantics that ends the connection, for barcode
    // semantics it costs only this line.
    std::string process(std::string_view line);
    // process with the rule for a line that cannot be processed applied: for plain semantics the
    // ProcessingError goes on to the caller, and ends the connection; for barcode semantics it is
    // reported as an important event and costs only this line, which yields none.
    std::optional<std::string> processLine(std::string_view line);

private:
    Semantics semantics_;
    EventSink importantEvent_;
    Regex regex_;
    RegexMatch match_;
    int captureGroup_;
    Editor editor_;
    Remover remover_;
    std::optional<NumberFormatter> formatter_;  // plain semantics only
    std::string value_;                         // reused from line to line
};

}  // namespace scalino
