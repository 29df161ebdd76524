#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "config/Config.h"
#include "rs232/SerialPortLocal.h"
#include "worker/BackgroundTask.h"
#include "worker/DataLine.h"
#include "worker/LineAssembler.h"
#include "worker/LineDiagnostics.h"
#include "worker/LineProcessor.h"
#include "worker/WeightWorkerView.h"

namespace scalino {

// Opens a serial port with the given parameters; throws SerialPortException when it cannot.
using PortOpener = std::function<std::unique_ptr<SerialPortLocal>(const SerialConfig&)>;

// The connection to one instrument: opens the port when constructed, then reads it on its own
// thread, assembles lines at the input terminator, processes each one and publishes it as a
// DataLine to the view, in order, on the UI thread. Cancel it to disconnect; its completion
// step reports how it ended and closes the port.
class WeightWorker : public BackgroundTask<std::int32_t, DataLine> {
public:
    // Throws std::runtime_error with "null.port.error", naming the view's control for the port,
    // when config names no port, and the port's SerialPortException when it cannot be opened.
    // Without an opener the port goes through the process's serial driver.
    WeightWorker(const Config& config, WeightWorkerView& view, UiExecutor& executor,
                 PortOpener opener = {});
    ~WeightWorker() override;

    // False when the port has no modem-control lines (a pseudo-terminal, some adapters).
    bool hasModemLines() const { return modemLines_; }

protected:
    std::int32_t doInBackground(std::stop_token stop) override;
    void process(std::vector<DataLine>& chunks) override;
    void done(const TaskOutcome<std::int32_t>& outcome) override;
    std::size_t sizeOf(const DataLine& line) const override;
    // Reading waits for the output: the user learns why lines stop coming.
    void publishStalled(std::size_t waiting) override;

    // What the read loop does with each complete line in the assembler's buffer.
    using LineHandler = std::function<void(std::int32_t count, DataLine::Instant instant)>;
    // The read loop shared by every variant: reads until stop, marks faults, reports a
    // terminator that does not come, and hands each complete line to handleLine before emptying
    // the buffer. Returns the lines received.
    std::int32_t readLines(std::stop_token stop, const char* parityText, const char* framingText,
                           const LineHandler& handleLine);
    // readLines with every line processed with the given semantics and published; what a line
    // that cannot be processed costs is the processor's rule. A run of lines without a value is
    // reported.
    std::int32_t readProcessedLines(std::stop_token stop, LineProcessor::Semantics semantics,
                                    const char* parityText, const char* framingText);
    // Publishes the line in the buffer with its value and the fault marks.
    void publishLine(std::string value, std::int32_t count, DataLine::Instant instant);

    const Config& config() const { return config_; }
    WeightWorkerView& view() { return view_; }
    SerialPortLocal& port() { return *sp_; }
    std::string_view bufferedLine() const { return rawData_.line(); }

private:
    void openPort(PortOpener& opener);
    void setModemLines();
    // Waits for the next byte or stop; false when stop was requested.
    bool awaitByte(std::stop_token stop);
    // Hands the complete line in the buffer to handleLine, then empties the buffer.
    void handOver(const LineHandler& handleLine, std::int32_t count);
    void keepUnreadBytes();
    void queryFaults(const char* parityText, const char* framingText);
    void reportUnreadData();
    // Hands the pending line to the diagnostics: as bytes arrive and on every idle wake-up, so
    // that a missing terminator is reported while the instrument is silent too.
    void watchTerminator();
    void logDiagnosis(std::optional<std::string> report);

    WeightWorkerView& view_;
    Config config_;
    std::unique_ptr<SerialPortLocal> sp_;
    LineAssembler rawData_;
    LineDiagnostics diagnostics_;
    bool modemLines_ = true;
    bool faultQueries_ = true;
    bool parityMark_ = false;
    bool framingMark_ = false;
};

}  // namespace scalino
