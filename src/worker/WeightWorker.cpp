#include "worker/WeightWorker.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "config/ConfigHelper.h"
#include "rs232/SerialExceptions.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

// How long an idle connection sleeps at most before it looks at the port again: a byte or a
// stop request ends the wait at once, so this only bounds the wake-ups of a silent line.
constexpr int kIdleWakeUpMs = 500;

const char* onOff(bool on) {
    return on ? "on" : "off";
}

SerialConfig serialConfigOf(const Config& config) {
    SerialConfig serial(config.getPort());
    serial.setBitRate(config.getBitRate());
    serial.setDataBits(config.getDataBits());
    serial.setParity(config.getParity());
    serial.setStopBits(config.getStopBits());
    return serial;
}

}  // namespace

WeightWorker::WeightWorker(const Config& config, WeightWorkerView& view, UiExecutor& executor,
                           PortOpener opener)
    : BackgroundTask(executor),
      view_(view),
      config_(config),
      rawData_(static_cast<unsigned char>(config.getInputTerminator())),
      diagnostics_(config, [&view](std::string_view key, std::string_view value) {
          return view.settingControl(key, value);
      }) {
    if (config_.getPort().empty()) {
        throw std::runtime_error(workerText("null.port.error", {view_.settingControl("port", "")}));
    }
    openPort(opener);
    view_.setConnectedInGUI(true);
    try {
        sp_->rxFlush();
        using namespace ConfigHelper;
        view_.logEvent(workerText(
            "port.opened",
            {config_.getPort(), textAt<BitRates>(config_.getBitRate()),
             textAt<DataBits>(config_.getDataBits()), textAt<StopBits>(config_.getStopBits()),
             textAt<Parity>(config_.getParity())}));
        // A virtual port keeps its own framing; reading goes on, but the user should know.
        if (const std::string& notice = sp_->getConfigureNotice(); !notice.empty()) {
            view_.logEvent(notice);
        }
        setModemLines();
    } catch (...) {
        view_.setConnectedInGUI(false);
        throw;
    }
}

WeightWorker::~WeightWorker() = default;

void WeightWorker::openPort(PortOpener& opener) {
    SerialPortLocal::addPortName(config_.getPort());
    const SerialConfig serial = serialConfigOf(config_);
    sp_ = opener ? opener(serial) : std::make_unique<SerialPortLocal>(serial);
}

// Ports without modem-control lines still carry data: say so once and read on.
void WeightWorker::setModemLines() {
    try {
        sp_->setRTS(false);
        sp_->setDTR(true);
        char text[80];
        std::snprintf(text, sizeof text, "RTS: off, DTR: on. DSR: %s, CTS: %s.",
                      onOff(sp_->sigDSR()), onOff(sp_->sigCTS()));
        view_.logEvent(text);
    } catch (const SerialPortException& error) {
        modemLines_ = false;
        view_.logEvent(workerText("modem.lines.not.available", {error.what()}));
    }
}

std::int32_t WeightWorker::doInBackground(std::stop_token stop) {
    const std::string parityText = workerText("parity.error");
    const std::string framingText = workerText("framing.error");
    return readProcessedLines(stop, LineProcessor::Semantics::Plain, parityText.c_str(),
                              framingText.c_str());
}

std::int32_t WeightWorker::readProcessedLines(std::stop_token stop,
                                              LineProcessor::Semantics semantics,
                                              const char* parityText, const char* framingText) {
    LineProcessor processor(config_, semantics,
                            [this](const std::string& event) { view_.logImportantEvent(event); });
    return readLines(stop, parityText, framingText,
                     [&](std::int32_t count, DataLine::Instant instant) {
                         auto value = processor.processLine(bufferedLine());
                         const bool hasValue = value && !value->empty();
                         if (value) publishLine(std::move(*value), count, instant);
                         logDiagnosis(diagnostics_.processedLine(bufferedLine(), hasValue));
                     });
}

std::int32_t WeightWorker::readLines(std::stop_token stop, const char* parityText,
                                     const char* framingText, const LineHandler& handleLine) {
    std::int32_t count = 0;
    for (;;) {
        const int byte = sp_->getByte();
        if (byte < 0) {
            watchTerminator();
            if (awaitByte(stop)) continue;
            break;
        }
        const LineAssembler::Push push = rawData_.push(static_cast<unsigned char>(byte));
        queryFaults(parityText, framingText);
        if (push == LineAssembler::Push::Partial) {
            watchTerminator();
            continue;
        }
        diagnostics_.lineEnded();
        if (push == LineAssembler::Push::Overflow) {
            view_.logImportantEvent(
                workerText("line.too.long", {std::to_string(LineAssembler::kMaxLineLength)}));
        } else {
            handOver(handleLine, ++count);
        }
        parityMark_ = framingMark_ = false;
        // A device that never pauses must not keep the connection from stopping.
        if (stop.stop_requested()) break;
    }
    keepUnreadBytes();
    return count;
}

// The line is done with, whatever its handling did: a failure that ends the connection must not
// leave it behind to be reported as bytes without their terminator.
void WeightWorker::handOver(const LineHandler& handleLine, std::int32_t count) {
    try {
        handleLine(count, DataLine::Instant::clock::now());
    } catch (...) {
        rawData_.clear();
        throw;
    }
    rawData_.clear();
}

void WeightWorker::watchTerminator() {
    if (!rawData_.hasPendingBytes()) return;
    logDiagnosis(diagnostics_.pendingLine(rawData_.line(), LineDiagnostics::Clock::now()));
}

void WeightWorker::logDiagnosis(std::optional<std::string> report) {
    if (report) view_.logImportantEvent(*report);
}

bool WeightWorker::awaitByte(std::stop_token stop) {
    // A failed port is left to the next read, which throws with the reason.
    sp_->waitForInput(kIdleWakeUpMs, stop);
    return !stop.stop_requested();
}

// Bytes that had arrived when the connection was stopped are reported rather than dropped
// unseen; they are not processed any more.
void WeightWorker::keepUnreadBytes() {
    try {
        for (size_t kept = 0; kept < LineAssembler::kMaxLineLength; ++kept) {
            const int byte = sp_->getByte();
            if (byte < 0) return;
            rawData_.append(static_cast<unsigned char>(byte));
        }
    } catch (const SerialPortException&) {
        // A port that failed just now has nothing more to give.
    }
}

void WeightWorker::queryFaults(const char* parityText, const char* framingText) {
    if (!faultQueries_) return;
    try {
        if (sp_->sigParityErr()) {
            view_.logImportantEvent(parityText);
            parityMark_ = true;
        }
        if (sp_->sigFrameErr()) {
            view_.logImportantEvent(framingText);
            framingMark_ = true;
        }
    } catch (const SerialPortException&) {
        // A platform without these queries: lines are simply never marked faulty.
        faultQueries_ = false;
    }
}

void WeightWorker::publishLine(std::string value, std::int32_t count, DataLine::Instant instant) {
    publish(DataLine(std::string(rawData_.line()), std::move(value), count,
                     parityMark_ || framingMark_, instant));
}

std::size_t WeightWorker::sizeOf(const DataLine& line) const {
    return sizeof line + line.rawBytes().size() + line.getProcessedData().size();
}

void WeightWorker::publishStalled(std::size_t waiting) {
    view_.logImportantEvent(workerText("output.not.taken", {std::to_string(waiting)}));
}

void WeightWorker::process(std::vector<DataLine>& chunks) {
    for (const DataLine& line : chunks)
        view_.update(line);
}

// Complete lines that were not read because of the stop, then the bytes of a line whose
// terminator never came: each with its own message, for each has its own cause.
void WeightWorker::reportUnreadData() {
    std::string_view data = rawData_.line();
    const char terminator = static_cast<char>(config_.getInputTerminator());
    if (const size_t last = data.rfind(terminator); last != std::string_view::npos) {
        const std::string_view lines = data.substr(0, last + 1);
        const auto count = std::count(lines.begin(), lines.end(), terminator);
        view_.logImportantEvent(workerText("unread.lines", {std::to_string(count)}) + " " +
                                DataLine::transformControlChars(lines));
        data.remove_prefix(last + 1);
    }
    if (!data.empty()) {
        view_.logImportantEvent(workerText("unsent.data") + " " +
                                DataLine::transformControlChars(data));
    }
    rawData_.clear();
}

void WeightWorker::done(const TaskOutcome<std::int32_t>& outcome) {
    switch (outcome.ending) {
        case TaskEnding::Cancelled: view_.logEvent(workerText("stopped")); break;
        case TaskEnding::Failed:
            view_.logImportantEvent(workerText("execution.exception") + " " + outcome.error);
            break;
        case TaskEnding::Interrupted: view_.logEvent(workerText("interrupted")); break;
        case TaskEnding::Completed: break;
    }
    reportUnreadData();
    try {
        sp_->close();
    } catch (const SerialPortException& error) {
        view_.logImportantEvent(error.what());
    }
    view_.setConnectedInGUI(false);
}

}  // namespace scalino
