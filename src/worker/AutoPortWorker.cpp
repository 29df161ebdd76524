#include "worker/AutoPortWorker.h"

#include <exception>
#include <utility>

#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

// Runs a step of giving up a port; its failure must not keep the port from being closed.
template <class Step>
void quietly(Step step) noexcept {
    try {
        step();
    } catch (const std::exception&) {
        // Nothing more can be done for a port that is being given up.
    }
}

}  // namespace

AutoPortWorker::AutoPortWorker(AutoPortWorkerView& view, std::vector<std::string> ports,
                               UiExecutor& executor, PortOpener opener)
    : BackgroundTask(executor), view_(view), ports_(std::move(ports)), opener_(std::move(opener)) {}

AutoPortWorker::~AutoPortWorker() = default;

void AutoPortWorker::start() {
    view_.setButtonToCancel();
    execute();
}

std::optional<std::string> AutoPortWorker::doInBackground(std::stop_token stop) {
    publish(workerText("auto.port.detection.started"));
    for (const std::string& portName : ports_) {
        if (!testPort(portName, stop)) break;
    }
    return bestPortName_;
}

bool AutoPortWorker::testPort(const std::string& portName, std::stop_token stop) {
    currentPortConfidence_ = 0;
    publish(workerText("testing.port.0", {portName}));
    try {
        const SerialConfig config(portName);
        sp_ = opener_ ? opener_(config) : std::make_unique<SerialPortLocal>(config);
        if (!measure(portName, stop)) {
            abandonPort();
            return false;
        }
        releasePort();
    } catch (const std::exception& error) {
        // A port that cannot be opened or driven scores nothing; the others may still answer.
        publish(error.what());
        abandonPort();
        return true;
    }
    // Strictly greater: on a tie the earlier port stays.
    if (currentPortConfidence_ > bestPortConfidence_) {
        bestPortName_ = portName;
        bestPortConfidence_ = currentPortConfidence_;
    }
    publish(workerText("confidence", {std::to_string(currentPortConfidence_)}));
    return true;
}

bool AutoPortWorker::measure(const std::string& portName, std::stop_token stop) {
    sp_->setDTR(false);
    sp_->setRTS(false);
    if (!sleepFor(PAUSE, stop)) return false;
    if (sp_->sigDSR()) {
        // The device asserts DSR by itself: it should answer with CTS once we are ready too.
        sp_->setDTR(true);
        sp_->setRTS(true);
        if (!sleepFor(PAUSE, stop)) return false;
        // On Windows PCs COM3 is usually a built-in modem, which holds its lines on just
        // the same; it must not outscore an instrument.
        currentPortConfidence_ = dsrAndCtsOn() && portName != "COM3" ? 3 : 1;
        return true;
    }
    sp_->setDTR(true);
    if (!sleepFor(PAUSE, stop)) return false;
    const bool dsrFollowsDtr = sp_->sigDSR();
    sp_->setRTS(true);
    if (!sleepFor(PAUSE, stop)) return false;
    if (dsrFollowsDtr) {
        currentPortConfidence_ = dsrAndCtsOn() ? 2 : 1;
    } else {
        currentPortConfidence_ = sp_->sigCTS() ? 1 : 0;
    }
    return true;
}

bool AutoPortWorker::dsrAndCtsOn() {
    return sp_->sigDSR() && sp_->sigCTS();
}

void AutoPortWorker::releasePort() {
    sp_->setDTR(false);
    sp_->setRTS(false);
    sp_->close();
    sp_.reset();
}

void AutoPortWorker::abandonPort() noexcept {
    if (!sp_) return;
    quietly([this] { sp_->setDTR(false); });
    quietly([this] { sp_->setRTS(false); });
    // The driver releases the handle even when it reports a failure.
    quietly([this] { sp_->close(); });
    sp_.reset();
}

void AutoPortWorker::process(std::vector<std::string>& chunks) {
    for (const std::string& message : chunks)
        view_.update(message, false);
}

void AutoPortWorker::done(const TaskOutcome<std::optional<std::string>>& outcome) {
    view_.setButtonToClose();
    if (outcome.result && *outcome.result) {
        const std::string& portName = **outcome.result;
        view_.setPort(portName);
        view_.update(workerText("best.port", {portName}), true);
    } else {
        view_.update(workerText("could.not.auto.detect.port"), true);
    }
    switch (outcome.ending) {
        case TaskEnding::Cancelled: view_.update(workerText("stopped"), false); break;
        case TaskEnding::Failed:
            view_.update(workerText("execution.exception") + " " + outcome.error, false);
            break;
        case TaskEnding::Interrupted: view_.update(workerText("interrupted"), false); break;
        case TaskEnding::Completed: break;
    }
    // The work step closes every port it opens; this covers a step that failed half-way.
    abandonPort();
}

}  // namespace scalino
