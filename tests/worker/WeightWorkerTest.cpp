// The workers over a scripted driver, for what no pseudo-terminal can produce: parity and
// framing faults on given bytes, and the modem-control lines of the A&D handshake.
#include <gtest/gtest.h>

#include "config/Instrument.h"
#include "support/RecordingWorkerView.h"
#include "support/ScriptedDriver.h"
#include "worker/WeightWorker.h"
#include "worker/WorkerBundle.h"
#include "worker/WorkerChoice.h"

namespace scalino {
namespace {

using namespace std::chrono_literals;
using ConfigHelper::Instrument;
using test::ScriptedDriver;

Config configFor(Instrument instrument) {
    Config config = ConfigHelper::getDefaultConfig(instrument);
    config.setInstrument(instrument);
    config.setPort("/dev/ttyUSB7");
    return config;
}

PortOpener openerFor(std::shared_ptr<ScriptedDriver> driver) {
    return [driver](const SerialConfig& serial) {
        return std::make_unique<SerialPortLocal>(serial, driver,
                                                 PlatformInfo::forPlatform("Linux", "amd64"));
    };
}

// Connects, lets the worker read until it published count lines, then disconnects.
std::vector<DataLine> readLines(const Config& config, std::shared_ptr<ScriptedDriver> driver,
                                test::RecordingWorkerView& view, size_t count) {
    QueueExecutor ui;
    auto worker = createWeightWorker(config, view, ui, openerFor(driver));
    worker->execute();
    EXPECT_TRUE(ui.runUntil([&] { return view.lineCount() >= count; }, 60s));
    worker->cancel(true);
    EXPECT_TRUE(ui.runUntil([&] { return worker->isDone(); }, 60s));
    return view.lines();
}

TEST(WeightWorkerTest, AFaultOnTheTerminatorMarksThatLineOnlyAndIsLogged) {
    struct Case {
        Instrument instrument;
        ScriptedDriver::Fault fault;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {Instrument::GENERIC, ScriptedDriver::ParityFault, "! " + workerText("parity.error")},
        {Instrument::GENERIC, ScriptedDriver::FramingFault, "! " + workerText("framing.error")},
        {Instrument::BARCODE_ALPHA_COMPLETE, ScriptedDriver::ParityFault, "! Parity Error"},
        {Instrument::BARCODE_ALPHA_COMPLETE, ScriptedDriver::FramingFault, "! Framing Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        auto driver = std::make_shared<ScriptedDriver>();
        Config config = configFor(c.instrument);
        config.setInputTerminator('\n');
        driver->script("12.5\n", c.fault);
        driver->script("13.5\n");
        test::RecordingWorkerView view;
        const auto lines = readLines(config, driver, view, 2);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_TRUE(lines[0].isError());
        EXPECT_FALSE(lines[1].isError());
        EXPECT_EQ(lines[1].getProcessedData(), "13.5");
        EXPECT_TRUE(view.logged(c.logged));
    }
}

TEST(WeightWorkerTest, AFaultEarlyInALineMarksTheWholeLine) {
    auto driver = std::make_shared<ScriptedDriver>();
    Config config = configFor(Instrument::GENERIC);
    config.setInputTerminator('\n');
    driver->script("1", ScriptedDriver::ParityFault);
    driver->script("2.5\n");
    test::RecordingWorkerView view;
    const auto lines = readLines(config, driver, view, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].isError());
}

TEST(WeightWorkerTest, TheAndHandshakeCheckWarnsAsTheBalanceAnswers) {
    struct Case {
        bool dsr, cts;
        std::string warning;  // empty: the balance is ready
    };
    const std::vector<Case> cases = {
        {true, true, ""},
        {true, false, "and.error.unusual"},
        {false, true, "and.error.dataset.not.ready"},
        {false, false, "and.error.not.connected"},
    };
    for (Instrument instrument : {Instrument::AND, Instrument::AND_EM}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.warning + (instrument == Instrument::AND ? " AND" : " AND_EM"));
            auto driver = std::make_shared<ScriptedDriver>();
            driver->dsr = c.dsr;
            driver->cts = c.cts;
            test::RecordingWorkerView view;
            QueueExecutor ui;
            auto worker = createWeightWorker(configFor(instrument), view, ui, openerFor(driver));
            const std::vector<std::string> expected =
                c.warning.empty() ? std::vector<std::string>{}
                                  : std::vector<std::string>{"warning " + workerText("warning") +
                                                             ": " + workerText(c.warning)};
            std::vector<std::string> warnings;
            for (const auto& entry : view.log())
                if (entry.starts_with("warning ")) warnings.push_back(entry);
            EXPECT_EQ(warnings, expected);
            // Opening leaves RTS off and DTR on; the check then raises DTR and RTS.
            const std::vector<std::string> lines(driver->calls.begin() + 2, driver->calls.end());
            EXPECT_EQ(lines, (std::vector<std::string>{"rts off", "dtr on", "dtr on", "rts on"}));
        }
    }
}

TEST(WeightWorkerTest, OnlyTheTwoHandshakeProfilesAreChecked) {
    for (Instrument instrument :
         {Instrument::AND_SIMPLE, Instrument::GENERIC, Instrument::BARCODE}) {
        auto driver = std::make_shared<ScriptedDriver>();
        test::RecordingWorkerView view;
        QueueExecutor ui;
        auto worker = createWeightWorker(configFor(instrument), view, ui, openerFor(driver));
        EXPECT_FALSE(view.logged("warning "));
        EXPECT_EQ(driver->calls.back(), "dtr on");
    }
}

TEST(WeightWorkerTest, WithoutModemLinesTheConnectionGoesOnAndTheHandshakeCannotBeChecked) {
    auto driver = std::make_shared<ScriptedDriver>();
    driver->modemResult = NativeDriver::kFailure;
    driver->lastError = "modem-control lines are not available on this port";
    driver->script("ST,+00012.34  g\r\n");
    test::RecordingWorkerView view;
    Config config = configFor(Instrument::AND);
    const auto lines = readLines(config, driver, view, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].getProcessedData(), "12.34");
    EXPECT_TRUE(view.logged(
        workerText("modem.lines.not.available", {"setRTS failed: " + driver->lastError})));
    EXPECT_TRUE(view.logged("warning " + workerText("warning") + ": " +
                            workerText("and.error.no.handshake.lines")));
}

// An instrument that sends without a pause: the port is never found empty.
class EndlessDriver : public ScriptedDriver {
public:
    int serGetByte(int) override { return (next_ = !next_) ? '1' : '\n'; }

private:
    bool next_ = false;
};

TEST(WeightWorkerTest, AConnectionToADeviceThatNeverPausesStillStops) {
    auto driver = std::make_shared<EndlessDriver>();
    Config config = configFor(Instrument::GENERIC);
    config.setInputTerminator('\n');
    test::RecordingWorkerView view;
    QueueExecutor ui;
    auto worker = createWeightWorker(config, view, ui, openerFor(driver));
    worker->execute();
    ASSERT_TRUE(ui.runUntil([&] { return view.lineCount() >= 1; }, 60s));
    worker->cancel(true);
    ASSERT_TRUE(ui.runUntil([&] { return worker->isDone(); }, 60s));
    EXPECT_EQ(view.log().back(), "disconnected");
}

// Hands out its script and asks for the stop as it hands out the byte at a given position, as
// a user who stops the connection while a burst of lines arrives.
class StoppingDriver : public ScriptedDriver {
public:
    std::function<void()> stop;
    size_t stopAt = 0;

    int serGetByte(int handle) override {
        const int byte = ScriptedDriver::serGetByte(handle);
        if (byte >= 0 && ++taken_ == stopAt) stop();
        return byte;
    }

private:
    size_t taken_ = 0;
};

TEST(WeightWorkerTest, WhatArrivedBeforeAStopIsReportedAsUnreadLinesAndAsDataWithoutTerminator) {
    struct Case {
        std::string script;
        std::vector<std::string> reports;  // the important events after "stopped"
    };
    const std::vector<Case> cases = {
        {"1\n2\n3\n4",
         {workerText("unread.lines", {"2"}) + " 2<10>3<10>", workerText("unsent.data") + " 4"}},
        {"1\n2\n", {workerText("unread.lines", {"1"}) + " 2<10>"}},
        {"1\n4.", {workerText("unsent.data") + " 4."}},
        {"1\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        auto driver = std::make_shared<StoppingDriver>();
        Config config = configFor(Instrument::GENERIC);
        config.setInputTerminator('\n');
        test::RecordingWorkerView view;
        QueueExecutor ui;
        auto worker = createWeightWorker(config, view, ui, openerFor(driver));
        // The stop comes with the first line's terminator; the rest is in the port by then.
        driver->stopAt = 2;
        driver->stop = [&worker] { worker->cancel(true); };
        driver->script(c.script);
        worker->execute();
        ASSERT_TRUE(ui.runUntil([&] { return worker->isDone(); }, 30s)) << "the worker never ended";
        EXPECT_EQ(view.lineCount(), 1u);
        const auto log = view.log();
        const auto stopped = std::find(log.begin(), log.end(), workerText("stopped"));
        ASSERT_NE(stopped, log.end());
        std::vector<std::string> reports;
        for (auto entry = stopped + 1; entry != log.end() && entry->starts_with("! "); ++entry)
            reports.push_back(entry->substr(2));
        EXPECT_EQ(reports, c.reports);
        EXPECT_EQ(log.back(), "disconnected");
    }
}

TEST(WeightWorkerTest, NoPortInTheSettingsOpensNothing) {
    auto driver = std::make_shared<ScriptedDriver>();
    Config config = configFor(Instrument::GENERIC);
    config.setPort("");
    test::RecordingWorkerView view;
    QueueExecutor ui;
    try {
        createWeightWorker(config, view, ui, openerFor(driver));
        ADD_FAILURE() << "a worker without a port";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), workerText("null.port.error", {view.settingControl("port", "")}));
    }
    EXPECT_TRUE(driver->calls.empty());
    EXPECT_TRUE(view.log().empty());
}

}  // namespace
}  // namespace scalino
