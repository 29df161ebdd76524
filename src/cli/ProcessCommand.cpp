#include "cli/ProcessCommand.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "cli/LineOutput.h"
#include "cli/SettingArguments.h"
#include "cli/StoredSettings.h"
#include "config/ConfigKeys.h"
#include "util/Text.h"
#include "worker/DataLine.h"
#include "worker/Ignorer.h"
#include "worker/LineAssembler.h"
#include "worker/LineProcessor.h"
#include "worker/WorkerBundle.h"

namespace scalino::cli {
namespace {

constexpr const char* kHelp = R"(Usage: scalino-cli process [--prefs FILE] [--set KEY=VALUE]... [--defaults]

Reads an instrument's data from standard input until its end, splits it into
lines at the input terminator and processes each line as a connection to that
instrument would: the value is extracted with the instrument's expression (or
the custom one), edited, cleaned and formatted. Barcode instruments keep their
text as extracted.

The settings are loaded from the settings store as the desktop program loads
them at start-up; a stored value that is not valid is reported on standard
error and its default applies.

Options:
  --prefs FILE      Use FILE as the settings file instead of the usual one
                    (~/.fileprefs, or the shared file of a multi-user
                    installation).
  --set KEY=VALUE   Set one setting over the stored settings. May be
                    repeated; an unknown key or a value the setting does not
                    accept is an error (exit status 2) and nothing is read.
                    Serial settings take their real values (bitRate=9600,
                    dataBits=7, stopBits=2, parity=even), names any letter
                    case (roundingMethod=half_up, keyboardType=qwerty). Keys:
                    instrument, bitRate, dataBits, stopBits, parity,
                    decimalSeparator, inputTerminator, startWith,
                    outputTerminator, connect, mathOperand, mathOperation,
                    decimalPlaces, roundingMethod, sound, keyboardType, delay,
                    minimizeToTray, notifyWhenMinimizedToTray, checkForUpdates,
                    abortAutoStartWhenPrevPortNotAvailable, ignoreDuplicates,
                    editOperation, editPosition, editNumCharacters,
                    removeCharacters, ignoreTimeLimit, ignoreDifference,
                    customRegEx, port, prevPort.
  -b, --baud RATE   The bit rate: the same as --set bitRate=RATE.
  --line SETTINGS   Bit rate, data bits, parity and stop bits at once, as
                    9600,8N1 or 2400,7E1; a third part sets the line end:
                    2400,7E1,LF (LF, CR, EOT or a character code).
  --defaults        Apply the instrument's own line settings (bit rate, data
                    bits, parity, stop bits, input terminator) where no
                    option above gives them; 'scalino-cli instruments --long'
                    lists them.
  --help            Show this text.

Output, one line per received line, flushed at once:
  NUMBER <tab> VALUE <tab> FAULT <tab> RAW
  NUMBER  the line's number, from 1
  VALUE   what would be typed (empty when nothing: no match, a suppressed
          duplicate); characters below 32 and from 127 to 159 show as <code>
  FAULT   1 when the port reported a parity or framing fault, else 0
  RAW     the line as received, terminator included; printable ASCII as
          itself, every other byte as <code>, so CR LF shows as <13><10>

Messages go to standard error: bytes left without a terminator at the end,
lines that could not be processed. Exit status: 0 at the end of input,
1 when standard input cannot be read or standard output cannot be written
(a full disk, for example; processing stops at once), 2 for a bad option,
3 when a line ends processing as it would end a connection (a value that is
not a number).

Examples:
  printf 'N  60.24 kg\r\n' | scalino-cli process --set instrument=KERN_MPS \
      --defaults
  printf 'ST,+00012.345 kg\r\n' | scalino-cli process --set inputTerminator=10 \
      --set decimalPlaces=2 --set roundingMethod=HALF_EVEN \
      --set mathOperation=MULTIPLY --set mathOperand=1000
  scalino-cli process --set instrument=BARCODE_ALPHA < scans.txt
)";

// Parses the options into assignments; on --help or a bad option, the exit status.
std::optional<int> parseOptions(std::vector<std::string> arguments, SettingOptions& settings,
                                std::FILE* out, std::FILE* err) {
    if (auto error = takePreferencesOption(arguments)) {
        std::fprintf(err, "scalino-cli process: %s\n", error->c_str());
        return 2;
    }
    takeSettingOptions(arguments, settings, true);
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, out);
            return 0;
        }
        std::fprintf(err, "scalino-cli process: unexpected argument '%s'; see --help\n",
                     argument.c_str());
        return 2;
    }
    return std::nullopt;
}

// Processes the lines of inputFd; the state of one run.
class Run {
public:
    Run(const Config& config, std::FILE* out, std::FILE* err)
        : out_(out),
          err_(err),
          processor_(config, LineProcessor::semanticsFor(config),
                     [this](const std::string& event) { report(event); }),
          assembler_(static_cast<unsigned char>(config.getInputTerminator())) {
        if (config.ignoreDuplicates()) ignorer_.emplace(config);
    }

    int readAll(int inputFd) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(inputFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                report(std::string("cannot read standard input: ") + std::strerror(errno));
                return 1;
            }
            if (n == 0) break;
            for (ssize_t i = 0; i < n; ++i) {
                if (!push(static_cast<unsigned char>(buffer[i]))) return outputFailed_ ? 1 : 3;
            }
        }
        if (assembler_.hasPendingBytes()) {
            report(workerText("unsent.data") + " " + readableForm(assembler_.line()));
        }
        return 0;
    }

    // True once a line could not be written; it has been reported.
    bool outputFailed() const { return outputFailed_; }

private:
    // False when the line ended processing or could not be written.
    bool push(unsigned char byte) {
        switch (assembler_.push(byte)) {
            case LineAssembler::Push::Partial: return true;
            case LineAssembler::Push::Overflow:
                report(
                    workerText("line.too.long", {std::to_string(LineAssembler::kMaxLineLength)}));
                return true;
            case LineAssembler::Push::Complete: break;
        }
        const bool ok = completeLine();
        assembler_.clear();
        return ok;
    }

    bool completeLine() {
        ++count_;
        const auto instant = std::chrono::system_clock::now();
        std::optional<std::string> value;
        try {
            value = processor_.processLine(assembler_.line());
        } catch (const ProcessingError& error) {
            report(workerText("execution.exception") + " " + error.what());
            return false;
        }
        if (!value) return true;
        DataLine line(std::string(assembler_.line()), std::move(*value), count_, false, instant);
        if (ignorer_) ignorer_->process(line);
        if (printDataLine(out_, line)) return true;
        // What cannot be written is lost: reading on would only lose more.
        reportUnwrittenOutput(err_, "process", errno);
        outputFailed_ = true;
        return false;
    }

    void report(const std::string& message) {
        std::fprintf(err_, "%s\n", message.c_str());
        std::fflush(err_);
    }

    std::FILE* out_;
    std::FILE* err_;
    LineProcessor processor_;
    LineAssembler assembler_;
    std::optional<Ignorer> ignorer_;
    std::int32_t count_ = 0;
    bool outputFailed_ = false;
};

}  // namespace

int runProcess(const std::vector<std::string>& arguments, int inputFd, std::FILE* out,
               std::FILE* err) {
    SettingOptions settings;
    if (auto status = parseOptions(arguments, settings, out, err)) return *status;
    // Processing does not use the port, so the ports are not listed.
    Config config = loadStoredSettings(err, "process", {});
    if (auto error = applySettings(config, settings)) {
        std::fprintf(err, "scalino-cli process: %s\n", error->message.c_str());
        return 2;
    }
    if (settings.defaults) reportDefaults(err, "process", config);
    try {
        Run run(config, out, err);
        const int status = run.readAll(inputFd);
        if (run.outputFailed()) return 1;
        return outputWritten(out, err, "process") ? status : 1;
    } catch (const std::exception& error) {
        std::fprintf(err, "%s %s\n", workerText("execution.exception").c_str(), error.what());
        return 3;
    }
}

}  // namespace scalino::cli
