// The automatic port detection over ports whose modem-control lines are wired by the test.
#include "worker/AutoPortWorker.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/ModemLineDriver.h"
#include "worker/WorkerBundle.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using Wiring = test::ModemLineDriver::Wiring;

// Everything the worker tells its dialog, in order; emphasised messages start with "** ".
class RecordingView : public AutoPortWorkerView {
public:
    std::function<void(const std::string&)> onMessage;
    std::vector<std::string> calls;

    void setButtonToCancel() override { calls.push_back("button: Cancel"); }
    void setButtonToClose() override { calls.push_back("button: Close"); }
    void setPort(const std::string& portName) override { calls.push_back("port: " + portName); }
    void update(const std::string& message, bool emphasised) override {
        calls.push_back((emphasised ? "** " : "") + message);
        if (onMessage) onMessage(message);
    }
};

std::string testing(const std::string& port) {
    return workerText("testing.port.0", {port});
}
std::string confidence(int value) {
    return workerText("confidence", {std::to_string(value)});
}

struct Search {
    explicit Search(std::map<std::string, Wiring> wiring)
        : driver(std::make_shared<test::ModemLineDriver>(std::move(wiring))) {}

    // Runs a search over the ports, in the given order, until its completion step has run.
    void run(const std::vector<std::string>& ports) {
        worker =
            std::make_shared<AutoPortWorker>(view, ports, ui, [this](const SerialConfig& config) {
                return std::make_unique<SerialPortLocal>(
                    config, driver, PlatformInfo::forPlatform("Linux", "amd64"));
            });
        worker->start();
        ASSERT_TRUE(ui.runUntil([&] { return worker->isDone(); }, 60s));
    }

    std::shared_ptr<test::ModemLineDriver> driver;
    RecordingView view;
    QueueExecutor ui;
    std::shared_ptr<AutoPortWorker> worker;
};

TEST(AutoPortWorkerTest, ScoresEachPortByHowItsLinesAnswerAndProposesTheFirstBest) {
    struct Port {
        std::string name;
        Wiring wiring;
        std::string result;  // the confidence message, or the error
    };
    const std::vector<Port> ports = {
        {"COM3", Wiring::HeldOn, confidence(1)},  // the usual built-in modem of Windows PCs
        {"/dev/ttyUSB0", Wiring::Looped, confidence(2)},
        {"/dev/ttyUSB1", Wiring::DtrToDsr, confidence(1)},
        {"/dev/ttyUSB2", Wiring::RtsToCts, confidence(1)},
        {"/dev/ttyUSB3", Wiring::DsrHeldOn, confidence(1)},
        {"/dev/ttyUSB4", Wiring::Nothing, confidence(0)},
        {"/dev/ttyUSB5", Wiring::CannotOpen, "/dev/ttyUSB5: SerOpenPort failed: 2: No such device"},
        {"/dev/ttyUSB6", Wiring::SetDtrFails, "setDTR failed: no modem-control lines here"},
        // Its lines are on when the error strikes: they are still switched off.
        {"/dev/ttyUSB8", Wiring::CtsFails, "sigCTS failed: no modem-control lines here"},
        {"/dev/ttyUSB7", Wiring::Looped, confidence(2)},  // a tie: the earlier port stays
    };
    std::map<std::string, Wiring> wiring;
    std::vector<std::string> names;
    std::vector<std::string> expected = {"button: Cancel",
                                         workerText("auto.port.detection.started")};
    for (const Port& port : ports) {
        wiring[port.name] = port.wiring;
        names.push_back(port.name);
        expected.push_back(testing(port.name));
        expected.push_back(port.result);
    }
    expected.push_back("button: Close");
    expected.push_back("port: /dev/ttyUSB0");
    expected.push_back("** " + workerText("best.port", {"/dev/ttyUSB0"}));

    Search search(wiring);
    search.run(names);
    EXPECT_EQ(search.view.calls, expected);
    for (const Port& port : ports) {
        const auto record = search.driver->record(port.name);
        EXPECT_EQ(record.opens, port.wiring == Wiring::CannotOpen ? 0 : 1) << port.name;
        EXPECT_EQ(record.closes, record.opens) << port.name;
        EXPECT_TRUE(record.linesOffAtClose) << port.name;
    }
}

TEST(AutoPortWorkerTest, ADeviceHoldingItsLinesOnBeatsAnEarlierLoopedCable) {
    Search search({{"/dev/ttyS0", Wiring::Looped}, {"/dev/ttyACM0", Wiring::HeldOn}});
    search.run({"/dev/ttyS0", "/dev/ttyACM0"});
    const std::vector<std::string> outcome(search.view.calls.end() - 4, search.view.calls.end());
    EXPECT_EQ(outcome,
              (std::vector<std::string>{confidence(3), "button: Close", "port: /dev/ttyACM0",
                                        "** " + workerText("best.port", {"/dev/ttyACM0"})}));
}

TEST(AutoPortWorkerTest, WithoutAPortScoringAboveZeroNoneIsProposed) {
    const std::string started = workerText("auto.port.detection.started");
    const std::string none = "** " + workerText("could.not.auto.detect.port");
    struct Case {
        std::vector<std::string> ports;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {{}, {"button: Cancel", started, "button: Close", none}},
        {{"/dev/ttyUSB0", "/dev/ttyUSB1"},
         {"button: Cancel", started, testing("/dev/ttyUSB0"), confidence(0),
          testing("/dev/ttyUSB1"), "setDTR failed: no modem-control lines here", "button: Close",
          none}},
    };
    for (const Case& c : cases) {
        Search search({{"/dev/ttyUSB0", Wiring::Nothing}, {"/dev/ttyUSB1", Wiring::SetDtrFails}});
        search.run(c.ports);
        EXPECT_EQ(search.view.calls, c.calls);
        EXPECT_EQ(search.driver->portsOpen(), 0);
    }
}

// Stopping while the second port is under test: cancelling discards the port found so far
// (the dialog's cancel button), an interruption alone keeps it. Either way the port under
// test is left with its lines off and closed, and no later port is tried.
TEST(AutoPortWorkerTest, StoppingEndsTheSearchAtOnceAndClosesThePort) {
    struct Case {
        std::string name;
        std::function<void(AutoPortWorker&)> stop;
        std::vector<std::string> outcome;
    };
    const std::vector<Case> cases = {
        {"cancel",
         [](AutoPortWorker& worker) { worker.cancel(true); },
         {"button: Close", "** " + workerText("could.not.auto.detect.port"),
          workerText("stopped")}},
        {"interrupt",
         [](AutoPortWorker& worker) { worker.interrupt(); },
         {"button: Close", "port: /dev/ttyUSB0", "** " + workerText("best.port", {"/dev/ttyUSB0"}),
          workerText("interrupted")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Search search({{"/dev/ttyUSB0", Wiring::Looped},
                       {"/dev/ttyUSB1", Wiring::HeldOn},
                       {"/dev/ttyUSB2", Wiring::HeldOn}});
        // The second port opens only after the stop request, so the request meets its pause.
        search.driver->holdOpening("/dev/ttyUSB1");
        search.view.onMessage = [&](const std::string& message) {
            if (message != testing("/dev/ttyUSB1")) return;
            c.stop(*search.worker);
            search.driver->release();
        };
        search.run({"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"});
        std::vector<std::string> expected = {
            "button: Cancel", workerText("auto.port.detection.started"), testing("/dev/ttyUSB0"),
            confidence(2), testing("/dev/ttyUSB1")};
        expected.insert(expected.end(), c.outcome.begin(), c.outcome.end());
        EXPECT_EQ(search.view.calls, expected);
        const auto stopped = search.driver->record("/dev/ttyUSB1");
        EXPECT_EQ(stopped.opens, 1);
        EXPECT_EQ(stopped.closes, 1);
        EXPECT_TRUE(stopped.linesOffAtClose);
        EXPECT_EQ(search.driver->record("/dev/ttyUSB2").opens, 0);
    }
}

}  // namespace
}  // namespace scalino
