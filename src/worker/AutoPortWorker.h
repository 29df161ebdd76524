#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "rs232/SerialPortLocal.h"
#include "worker/AutoPortWorkerView.h"
#include "worker/BackgroundTask.h"
#include "worker/WeightWorker.h"

namespace scalino {

// Finds the port a handshaking instrument is attached to without reading any data: opens each
// candidate in turn, drives DTR and RTS, watches how DSR and CTS answer, scores the port from 0
// to 3 and proposes the first port with the highest score. Progress messages reach the view in
// order on the UI thread; cancelling ends the search at its next pause.
class AutoPortWorker : public BackgroundTask<std::optional<std::string>, std::string> {
public:
    // The settling time after each change of the output lines.
    static constexpr std::chrono::milliseconds PAUSE{150};

    // ports are tested in the given order. Without an opener the ports go through the
    // process's serial driver.
    AutoPortWorker(AutoPortWorkerView& view, std::vector<std::string> ports, UiExecutor& executor,
                   PortOpener opener = {});
    ~AutoPortWorker() override;

    // Turns the view's button into a cancel button and starts the search.
    void start();

protected:
    std::optional<std::string> doInBackground(std::stop_token stop) override;
    void process(std::vector<std::string>& chunks) override;
    void done(const TaskOutcome<std::optional<std::string>>& outcome) override;

private:
    // Scores one port and keeps it when it beats the best so far; false when stop was
    // requested, which ends the search.
    bool testPort(const std::string& portName, std::stop_token stop);
    // Drives the lines of the open port and sets currentPortConfidence_; false when stop was
    // requested during a pause.
    bool measure(const std::string& portName, std::stop_token stop);
    bool dsrAndCtsOn();
    // Output lines off and the port closed, failures passed on.
    void releasePort();
    // The same for a port that is being given up: nothing may stop the closing.
    void abandonPort() noexcept;

    AutoPortWorkerView& view_;
    std::vector<std::string> ports_;
    PortOpener opener_;
    // Written by the work step only; done reads them after the work step has returned.
    std::optional<std::string> bestPortName_;
    int bestPortConfidence_ = 0;
    int currentPortConfidence_ = 0;
    std::unique_ptr<SerialPortLocal> sp_;
};

}  // namespace scalino
